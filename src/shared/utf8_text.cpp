#include "shared/utf8_text.h"

namespace {

constexpr char32_t kEscapeBase = 0xDC00;  // U+DC80 to U+DCFF: bytes 0x80 to 0xFF
constexpr char32_t kReplacement = 0xFFFD;

// The code point of the UTF-8 sequence at `at`, or 0xFFFFFFFF when the
// bytes there are no complete, shortest-form sequence of a scalar value.
char32_t DecodeAt(const std::string& bytes, size_t at, size_t& length)
{
    const unsigned char lead = static_cast<unsigned char>(bytes[at]);
    char32_t point;
    char32_t least;
    if (lead < 0x80) {
        length = 1;
        return lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, point = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, point = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, point = lead & 0x07, least = 0x10000;
    } else {
        return 0xFFFFFFFF;
    }
    if (at + length > bytes.size())
        return 0xFFFFFFFF;
    for (size_t i = 1; i < length; ++i) {
        const unsigned char next = static_cast<unsigned char>(bytes[at + i]);
        if ((next & 0xC0) != 0x80)
            return 0xFFFFFFFF;
        point = (point << 6) | (next & 0x3F);
    }
    if (point < least || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
        return 0xFFFFFFFF;
    return point;
}

void AppendPoint(std::wstring& text, char32_t point)
{
    if (sizeof(wchar_t) == 2 && point >= 0x10000) {
        point -= 0x10000;
        text += static_cast<wchar_t>(0xD800 + (point >> 10));
        text += static_cast<wchar_t>(0xDC00 + (point & 0x3FF));
    } else {
        text += static_cast<wchar_t>(point);
    }
}

void AppendUtf8(std::string& bytes, char32_t point)
{
    if (point < 0x80) {
        bytes += static_cast<char>(point);
    } else if (point < 0x800) {
        bytes += static_cast<char>(0xC0 | (point >> 6));
        bytes += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        bytes += static_cast<char>(0xE0 | (point >> 12));
        bytes += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        bytes += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        bytes += static_cast<char>(0xF0 | (point >> 18));
        bytes += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
        bytes += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        bytes += static_cast<char>(0x80 | (point & 0x3F));
    }
}

// With restoreBytes, U+DC80 to U+DCFF go back to the bytes WideFromUtf8
// stood them for; any other lone surrogate becomes U+FFFD.
std::string Encode(const std::wstring& text, bool restoreBytes)
{
    std::string bytes;
    for (size_t at = 0; at < text.size(); ++at) {
        char32_t point = static_cast<char32_t>(text[at]);
        if (sizeof(wchar_t) == 2 && point >= 0xD800 && point <= 0xDBFF && at + 1 < text.size() &&
            text[at + 1] >= 0xDC00 && text[at + 1] <= 0xDFFF) {
            point = 0x10000 + ((point - 0xD800) << 10) + (text[at + 1] - 0xDC00);
            ++at;
        }
        if (restoreBytes && point >= kEscapeBase + 0x80 && point <= kEscapeBase + 0xFF)
            bytes += static_cast<char>(point - kEscapeBase);
        else if ((point >= 0xD800 && point <= 0xDFFF) || point > 0x10FFFF)
            AppendUtf8(bytes, kReplacement);
        else
            AppendUtf8(bytes, point);
    }
    return bytes;
}

} // namespace

std::wstring WideFromUtf8(const std::string& bytes)
{
    std::wstring text;
    for (size_t at = 0; at < bytes.size();) {
        size_t length = 1;
        const char32_t point = DecodeAt(bytes, at, length);
        if (point == 0xFFFFFFFF) {
            AppendPoint(text, kEscapeBase + static_cast<unsigned char>(bytes[at]));
            length = 1;
        } else {
            AppendPoint(text, point);
        }
        at += length;
    }
    return text;
}

std::string Utf8FromWide(const std::wstring& text)
{
    return Encode(text, true);
}

std::string Utf8FromText(const std::wstring& text)
{
    return Encode(text, false);
}

std::size_t Utf16Length(const std::wstring& text)
{
    std::size_t units = 0;
    for (const wchar_t c : text) {
        const char32_t point = static_cast<char32_t>(c);
        units += point > 0xFFFF ? 2 : 1;
    }
    return units;
}

std::wstring Utf16Prefix(const std::wstring& text, std::size_t units)
{
    std::size_t end = 0;
    for (std::size_t taken = 0; end < text.size();) {
        const char32_t point = static_cast<char32_t>(text[end]);
        const bool pair = sizeof(wchar_t) == 2 && point >= 0xD800 && point <= 0xDBFF && end + 1 < text.size() &&
                          text[end + 1] >= 0xDC00 && text[end + 1] <= 0xDFFF;
        const std::size_t size = pair || point > 0xFFFF ? 2 : 1;
        if (taken + size > units)
            break;
        taken += size;
        end += pair ? 2 : 1;
    }
    return text.substr(0, end);
}
