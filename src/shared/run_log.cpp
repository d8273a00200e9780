#include "shared/run_log.h"

#include <cstdint>

namespace {

const wchar_t kMessageEnd[] = L"]LOG]!>";

std::wstring Digits(long value, int width)
{
    std::wstring text = std::to_wstring(value < 0 ? -value : value);
    while (static_cast<int>(text.size()) < width)
        text.insert(text.begin(), L'0');
    return text;
}

std::wstring OneLine(const std::wstring& message)
{
    std::wstring line;
    for (size_t i = 0; i < message.size(); ++i) {
        if (message[i] == L'\n')
            line += L"\\n";
        else if (message[i] == L'\r')
            line += L"\\r";
        else if (message.compare(i, sizeof kMessageEnd / sizeof kMessageEnd[0] - 1, kMessageEnd) == 0)
            line += L"]LOG]!&gt;", i += 6;
        else
            line += message[i];
    }
    return line;
}

void AppendUtf8(std::string& out, std::uint32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

} // namespace

std::wstring FormatLogRecord(const std::wstring& message, LogType type, const LogStamp& stamp,
                             const std::wstring& component, unsigned long thread)
{
    return L"<![LOG[" + OneLine(message) + L"]LOG]!><time=\"" + Digits(stamp.hour, 2) + L":" +
           Digits(stamp.minute, 2) + L":" + Digits(stamp.second, 2) + L"." + Digits(stamp.millisecond, 3) +
           (stamp.biasMinutes < 0 ? L"-" : L"+") + Digits(stamp.biasMinutes, 3) + L"\" date=\"" +
           Digits(stamp.month, 2) + L"-" + Digits(stamp.day, 2) + L"-" + Digits(stamp.year, 4) +
           L"\" component=\"" + OneLine(component) + L"\" context=\"\" type=\"" + std::to_wstring(type) +
           L"\" thread=\"" + std::to_wstring(thread) + L"\" file=\"\">";
}

std::string Utf8(const std::wstring& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        std::uint32_t code = static_cast<std::uint32_t>(text[i]);
        // UTF-16 pairs where wchar_t is 16 bits; a lone half becomes U+FFFD.
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<std::uint32_t>(text[++i]) - 0xDC00);
        } else if ((code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
            code = 0xFFFD;
        }
        AppendUtf8(out, code);
    }
    return out;
}
