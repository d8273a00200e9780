#include "shared/run_log_win.h"

#include "shared/process_state_win.h"
#include "shared/utf8_text.h"

#include <windows.h>

namespace {

HANDLE g_log = INVALID_HANDLE_VALUE;
std::wstring g_component;

// The wrapper's file name without its extension: a log collected from many
// wrappers tells them apart by it.
std::wstring ComponentName()
{
    wchar_t path[MAX_PATH] = L"";
    const DWORD length = GetModuleFileNameW(ModuleInstance, path, MAX_PATH);
    std::wstring name(path, length < MAX_PATH ? length : 0);
    name = name.substr(name.find_last_of(L"\\/") + 1);
    return name.substr(0, name.rfind(L'.'));
}

LogStamp Now()
{
    SYSTEMTIME local;
    GetLocalTime(&local);
    TIME_ZONE_INFORMATION zone;
    const DWORD mode = GetTimeZoneInformation(&zone);
    LogStamp stamp;
    stamp.year = local.wYear;
    stamp.month = local.wMonth;
    stamp.day = local.wDay;
    stamp.hour = local.wHour;
    stamp.minute = local.wMinute;
    stamp.second = local.wSecond;
    stamp.millisecond = local.wMilliseconds;
    stamp.biasMinutes = zone.Bias;
    if (mode == TIME_ZONE_ID_DAYLIGHT)
        stamp.biasMinutes += zone.DaylightBias;
    else if (mode == TIME_ZONE_ID_STANDARD)
        stamp.biasMinutes += zone.StandardBias;
    return stamp;
}

void Write(const std::string& bytes)
{
    DWORD written = 0;
    WriteFile(g_log, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

} // namespace

void OpenRunLog(const std::wstring& path)
{
    if (path.empty())
        return;
    const DWORD error = GetLastError();
    g_log = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    g_component = ComponentName();
    LARGE_INTEGER size = {};
    if (g_log != INVALID_HANDLE_VALUE && GetFileSizeEx(g_log, &size) && size.QuadPart == 0)
        Write("\xEF\xBB\xBF");
    SetLastError(error);
}

bool RunLogOpen()
{
    return g_log != INVALID_HANDLE_VALUE;
}

void Log(LogType type, const std::wstring& message)
{
    if (g_log == INVALID_HANDLE_VALUE)
        return;
    const DWORD error = GetLastError();
    Write(Utf8FromText(FormatLogRecord(message, type, Now(), g_component, GetCurrentThreadId()) + L"\r\n"));
    SetLastError(error);
}
