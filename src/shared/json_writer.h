#pragma once

#include <cstdint>
#include <string>
#include <vector>

// JSON text (RFC 8259) for files that other programs read, such as the
// builders' manifests. UTF-8 without a byte-order mark; members in the
// order they are written, so the same record gives the same bytes on
// every system; numbers are integers only. Two spaces of indent per
// level, one member or element a line, a line feed at the end.
//
// Text is written as the caller's UTF-16 (Windows) or UTF-32 (Linux)
// holds it, except that whatever is no valid text there (a lone
// surrogate, a value above U+10FFFF) becomes U+FFFD: the output is valid
// UTF-8 whatever it is given. Quotation mark, reverse solidus and the
// control characters below U+0020 are escaped, nothing else.
//
//   JsonWriter json;
//   BeginJsonObject(json);
//   WriteJsonKey(json, "schema");
//   WriteJsonInteger(json, 1);
//   EndJsonObject(json);
//   // json.text == "{\n  \"schema\": 1\n}\n"

struct JsonWriter {
    std::string text;  // UTF-8
    std::vector<bool> holdsMembers;  // per open object or array, outermost first
    bool afterKey = false;  // a key was written, its value comes next
};

void BeginJsonObject(JsonWriter& json);
void EndJsonObject(JsonWriter& json);
void BeginJsonArray(JsonWriter& json);
void EndJsonArray(JsonWriter& json);

// Inside an object: the name of the member whose value is written next.
void WriteJsonKey(JsonWriter& json, const std::string& key);

void WriteJsonString(JsonWriter& json, const std::wstring& text);
void WriteJsonInteger(JsonWriter& json, std::int64_t value);
void WriteJsonBool(JsonWriter& json, bool value);
void WriteJsonNull(JsonWriter& json);
// An array of strings, in their order.
void WriteJsonStrings(JsonWriter& json, const std::vector<std::wstring>& texts);

// The same JSON without its layout: the line feeds, indents and the space
// after each key that the writer puts between tokens are left out, and
// nothing else, so the text parses to the same value.
std::string CompactJson(const std::string& text);
