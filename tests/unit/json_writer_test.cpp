#include "shared/json_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>

namespace {

// Text of the given UTF-16 or UTF-32 code units, valid or not.
std::wstring Units(std::initializer_list<unsigned> units)
{
    std::wstring text;
    for (unsigned unit : units)
        text += static_cast<wchar_t>(unit);
    return text;
}

const std::string kReplacement = "\xef\xbf\xbd";  // U+FFFD

struct StringRow {
    const char* what;
    std::wstring text;
    std::string json;  // without the quotes around it
};

TEST(JsonWriter, StringsEscapedAsRfc8259AndAlwaysValidUtf8)
{
    const bool utf16 = sizeof(wchar_t) == 2;
    const StringRow rows[] = {
        {"plain text", L"fix 3.2.40.msp", "fix 3.2.40.msp"},
        {"quotation mark and reverse solidus; solidus as it is", L"a\"b\\c/d", "a\\\"b\\\\c/d"},
        {"the short escapes", L"\b\f\n\r\t", "\\b\\f\\n\\r\\t"},
        {"other control characters; DEL as it is", Units({0, 1, 0x1f, 0x7f}), "\\u0000\\u0001\\u001f\x7f"},
        {"outside ASCII", L"\u00fc\u20ac\U0001F600", "\xc3\xbc\xe2\x82\xac\xf0\x9f\x98\x80"},
        {"a lone high surrogate", Units({'a', 0xD83D, 'b'}), "a" + kReplacement + "b"},
        {"a lone low surrogate", Units({0xDE00}), kReplacement},
        {"a byte of a Linux file name that is no UTF-8", Units({'c', 'a', 'f', 0xDCE9}), "caf" + kReplacement},
        {"a high surrogate at the end", Units({'a', 0xDBFF}), "a" + kReplacement},
        {"a pair the wrong way round", Units({0xDE00, 0xD83D}), kReplacement + kReplacement},
        // One character in UTF-16; in UTF-32 two surrogates, each alone.
        {"a surrogate pair", Units({0xD83D, 0xDE00}), utf16 ? "\xf0\x9f\x98\x80" : kReplacement + kReplacement},
    };
    for (const StringRow& row : rows) {
        JsonWriter json;
        WriteJsonString(json, row.text);
        EXPECT_EQ(json.text, "\"" + row.json + "\"") << row.what;
    }
    if (!utf16) {
        JsonWriter json;
        WriteJsonString(json, Units({0x110000}));
        EXPECT_EQ(json.text, "\"" + kReplacement + "\"") << "above U+10FFFF";
    }
}

TEST(JsonWriter, MembersInTheOrderWrittenOneALine)
{
    JsonWriter json;
    BeginJsonObject(json);
    WriteJsonKey(json, "schema");
    WriteJsonInteger(json, 1);
    WriteJsonKey(json, "empty");
    WriteJsonStrings(json, {});
    WriteJsonKey(json, "nothing");
    BeginJsonObject(json);
    EndJsonObject(json);
    WriteJsonKey(json, "list");
    BeginJsonArray(json);
    WriteJsonString(json, L"a");
    BeginJsonObject(json);
    WriteJsonKey(json, "n");
    WriteJsonInteger(json, -5);
    WriteJsonKey(json, "yes");
    WriteJsonBool(json, true);
    WriteJsonKey(json, "no");
    WriteJsonBool(json, false);
    WriteJsonKey(json, "none");
    WriteJsonNull(json);
    EndJsonObject(json);
    WriteJsonStrings(json, {L"b", L"c"});
    EndJsonArray(json);
    WriteJsonKey(json, "a \"key\"");
    WriteJsonInteger(json, INT64_MAX);
    EndJsonObject(json);
    EXPECT_EQ(json.text, "{\n"
                         "  \"schema\": 1,\n"
                         "  \"empty\": [],\n"
                         "  \"nothing\": {},\n"
                         "  \"list\": [\n"
                         "    \"a\",\n"
                         "    {\n"
                         "      \"n\": -5,\n"
                         "      \"yes\": true,\n"
                         "      \"no\": false,\n"
                         "      \"none\": null\n"
                         "    },\n"
                         "    [\n"
                         "      \"b\",\n"
                         "      \"c\"\n"
                         "    ]\n"
                         "  ],\n"
                         "  \"a \\\"key\\\"\": 9223372036854775807\n"
                         "}\n");
}

} // namespace
