#include "shared/json_writer.h"
#include "shared/utf8_text.h"

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
    WriteJsonInteger(json, INT64_MAX);
    WriteJsonKey(json, "empty");
    WriteJsonStrings(json, {});
    WriteJsonKey(json, "a \"key\"");
    BeginJsonArray(json);
    BeginJsonObject(json);
    WriteJsonKey(json, "n");
    WriteJsonInteger(json, -5);
    WriteJsonKey(json, "none");
    WriteJsonNull(json);
    EndJsonObject(json);
    WriteJsonBool(json, false);
    BeginJsonObject(json);
    EndJsonObject(json);
    EndJsonArray(json);
    EndJsonObject(json);
    EXPECT_EQ(json.text, "{\n  \"schema\": 9223372036854775807,\n  \"empty\": [],\n  \"a \\\"key\\\"\": [\n"
                         "    {\n      \"n\": -5,\n      \"none\": null\n    },\n    false,\n    {}\n  ]\n}\n");
    // Without the layout, and nothing else: spaces in names and values stay.
    EXPECT_EQ(CompactJson(json.text), "{\"schema\":9223372036854775807,\"empty\":[],\"a \\\"key\\\"\":[{\"n\":-5,"
                                      "\"none\":null},false,{}]}");
    JsonWriter text;
    WriteJsonStrings(text, {L"a: \"b\" \\", L" \\\n "});
    EXPECT_EQ(CompactJson(text.text), "[\"a: \\\"b\\\" \\\\\",\" \\\\\\n \"]");
}

// What Windows counts as characters, and where it may cut them.
TEST(Utf16Text, CountedAndCutAsWindowsCountsThem)
{
    const std::wstring pair = sizeof(wchar_t) == 2 ? Units({0xD83D, 0xDE00}) : Units({0x1F600});
    const std::wstring text = L"ab" + pair + L"c";
    EXPECT_EQ(Utf16Length(text), 5u);
    EXPECT_EQ(Utf16Prefix(text, 2), L"ab");
    EXPECT_EQ(Utf16Prefix(text, 3), L"ab");  // not half a pair
    EXPECT_EQ(Utf16Prefix(text, 4), L"ab" + pair);
    EXPECT_EQ(Utf16Prefix(text, 9), text);
}

} // namespace
