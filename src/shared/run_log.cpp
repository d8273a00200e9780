#include "shared/run_log.h"

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
