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
    // An invalid answer fills nothing: the bias is then 0, not whatever the
    // stack held.
    TIME_ZONE_INFORMATION zone = {};
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

// A link or other reparse point at the log's path would let whoever made it
// choose the file a run as SYSTEM appends to, or creates.
// FILE_FLAG_OPEN_REPARSE_POINT opens the link itself instead of what it
// names (CreateFileW, learn.microsoft.com/windows/win32/api/fileapi/
// nf-fileapi-createfilew); a file with a second name is refused alike, as
// a hard link to another file.
bool IsPlainFile(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION information;
    return GetFileInformationByHandle(file, &information) &&
           (information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0 &&
           information.nNumberOfLinks <= 1;
}

// Wrappers sharing a log take turns, one whole record each: an exclusive
// lock on one byte far past any log's end, which readers never touch.
// Locking past the end of file is no error, and LockFileEx waits for the
// lock without LOCKFILE_FAIL_IMMEDIATELY; it needs GENERIC_READ or
// GENERIC_WRITE on the handle (learn.microsoft.com/windows/win32/api/
// fileapi/nf-fileapi-lockfileex). A lock that cannot be taken does not
// keep the record out.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

void Append(const std::string& record)
{
    OVERLAPPED at = {};
    at.OffsetHigh = kLockOffsetHigh;
    const bool locked = LockFileEx(g_log, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at);
    // The first record of a new log brings the byte-order mark, under the
    // same lock, so that two runs that create the log together write one.
    LARGE_INTEGER size = {};
    const std::string bytes = GetFileSizeEx(g_log, &size) && size.QuadPart == 0 ? "\xEF\xBB\xBF" + record : record;
    DWORD written = 0;
    WriteFile(g_log, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    if (locked)
        UnlockFileEx(g_log, 0, 1, 0, &at);
}

} // namespace

void OpenRunLog(const std::wstring& path)
{
    if (path.empty())
        return;
    const DWORD error = GetLastError();
    // Append-only: without FILE_WRITE_DATA every write goes to the end of
    // the file whatever its offset (NtCreateFile, learn.microsoft.com/
    // windows/win32/api/winternl/nf-winternl-ntcreatefile); read access is
    // for the lock.
    g_log = CreateFileW(path.c_str(), FILE_APPEND_DATA | GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (g_log != INVALID_HANDLE_VALUE && !IsPlainFile(g_log)) {
        CloseHandle(g_log);
        g_log = INVALID_HANDLE_VALUE;
    }
    g_component = ComponentName();
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
    Append(Utf8FromText(FormatLogRecord(message, type, Now(), g_component, GetCurrentThreadId()) + L"\r\n"));
    SetLastError(error);
}
