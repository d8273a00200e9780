#include "shared/run_log.h"

namespace {

const wchar_t kMessageStart[] = L"<![LOG[";
const wchar_t kMessageEnd[] = L"]LOG]!>";

std::wstring Digits(long value, int width)
{
    std::wstring text = std::to_wstring(value < 0 ? -value : value);
    while (static_cast<int>(text.size()) < width)
        text.insert(text.begin(), L'0');
    return text;
}

bool StartsAt(const std::wstring& text, size_t at, const wchar_t* sequence)
{
    return text.compare(at, std::char_traits<wchar_t>::length(sequence), sequence) == 0;
}

std::wstring Hex(unsigned value, int width)
{
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text(static_cast<size_t>(width), L'0');
    for (int i = width - 1; i >= 0; --i, value >>= 4)
        text[static_cast<size_t>(i)] = kDigits[value & 0xF];
    return text;
}

// What some reader takes for a line end: every C0 control but tab (line
// feed, vertical tab, form feed, carriage return, and the file and record
// separators that Unicode's line breaking counts too), NEL, and the line
// and paragraph separators. Each is written as an escape instead.
std::wstring LineEndEscape(wchar_t c)
{
    if (c == L'\n')
        return L"\\n";
    if (c == L'\r')
        return L"\\r";
    if (static_cast<unsigned>(c) < 0x20 && c != L'\t')
        return L"\\x" + Hex(static_cast<unsigned>(c), 2);
    if (c == L'\u0085' || c == L'\u2028' || c == L'\u2029')
        return L"\\u" + Hex(static_cast<unsigned>(c), 4);
    return std::wstring();
}

std::wstring OneLine(const std::wstring& message)
{
    std::wstring line;
    for (size_t i = 0; i < message.size(); ++i) {
        const std::wstring escape = LineEndEscape(message[i]);
        if (!escape.empty())
            line += escape;
        else if (StartsAt(message, i, kMessageStart))
            line += L"&lt;", line += kMessageStart + 1, i += 6;
        else if (StartsAt(message, i, kMessageEnd))
            line += L"]LOG]!&gt;", i += 6;
        else
            line += message[i];
    }
    return line;
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
