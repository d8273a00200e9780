#include "shared/json_writer.h"

#include "shared/utf8_text.h"

namespace {

// `bytes`, UTF-8, as a JSON string. Bytes of multi-byte sequences are all
// 0x80 or above, so escaping byte by byte cannot split a character.
void AppendQuoted(std::string& text, const std::string& bytes)
{
    const char digits[] = "0123456789abcdef";
    text += '"';
    for (const char c : bytes) {
        const unsigned char byte = static_cast<unsigned char>(c);
        switch (byte) {
        case '"':
            text += "\\\"";
            break;
        case '\\':
            text += "\\\\";
            break;
        case '\b':
            text += "\\b";
            break;
        case '\f':
            text += "\\f";
            break;
        case '\n':
            text += "\\n";
            break;
        case '\r':
            text += "\\r";
            break;
        case '\t':
            text += "\\t";
            break;
        default:
            if (byte < 0x20)
                text += std::string("\\u00") + digits[byte >> 4] + digits[byte & 0xF];
            else
                text += c;
        }
    }
    text += '"';
}

void NewLine(JsonWriter& json, size_t depth)
{
    json.text += '\n';
    json.text.append(2 * depth, ' ');
}

// Before any value or key: the separator and the line it starts on.
void BeginItem(JsonWriter& json)
{
    if (json.afterKey) {
        json.afterKey = false;
        return;
    }
    if (json.holdsMembers.empty())
        return;
    if (json.holdsMembers.back())
        json.text += ',';
    json.holdsMembers.back() = true;
    NewLine(json, json.holdsMembers.size());
}

void Begin(JsonWriter& json, char bracket)
{
    BeginItem(json);
    json.text += bracket;
    json.holdsMembers.push_back(false);
}

void End(JsonWriter& json, char bracket)
{
    const bool heldMembers = json.holdsMembers.back();
    json.holdsMembers.pop_back();
    if (heldMembers)
        NewLine(json, json.holdsMembers.size());
    json.text += bracket;
    if (json.holdsMembers.empty())
        json.text += '\n';
}

} // namespace

void BeginJsonObject(JsonWriter& json)
{
    Begin(json, '{');
}

void EndJsonObject(JsonWriter& json)
{
    End(json, '}');
}

void BeginJsonArray(JsonWriter& json)
{
    Begin(json, '[');
}

void EndJsonArray(JsonWriter& json)
{
    End(json, ']');
}

void WriteJsonKey(JsonWriter& json, const std::string& key)
{
    BeginItem(json);
    AppendQuoted(json.text, key);
    json.text += ": ";
    json.afterKey = true;
}

void WriteJsonString(JsonWriter& json, const std::wstring& text)
{
    BeginItem(json);
    AppendQuoted(json.text, Utf8FromText(text));
}

void WriteJsonInteger(JsonWriter& json, std::int64_t value)
{
    BeginItem(json);
    json.text += std::to_string(value);
}

void WriteJsonBool(JsonWriter& json, bool value)
{
    BeginItem(json);
    json.text += value ? "true" : "false";
}

void WriteJsonNull(JsonWriter& json)
{
    BeginItem(json);
    json.text += "null";
}

void WriteJsonStrings(JsonWriter& json, const std::vector<std::wstring>& texts)
{
    BeginJsonArray(json);
    for (const std::wstring& text : texts)
        WriteJsonString(json, text);
    EndJsonArray(json);
}

// The writer escapes every control character inside a string, so a space
// or line feed outside one is layout, and one inside is always a space.
std::string CompactJson(const std::string& text)
{
    std::string compact;
    compact.reserve(text.size());
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            inString = escaped || c != '"';
            escaped = !escaped && c == '\\';
        } else if (c == ' ' || c == '\n') {
            continue;
        } else {
            inString = c == '"';
        }
        compact += c;
    }
    return compact;
}
