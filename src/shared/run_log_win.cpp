#include "shared/run_log_win.h"

#include "shared/process_state_win.h"
#include "shared/utf8_text.h"

#include <windows.h>

#include <algorithm>

namespace {

// Wrappers sharing a log take turns, one whole record each: an exclusive
// lock on one byte far past any log's end, which readers never touch.
// Locking past the end of file is no error; the lock needs GENERIC_READ or
// GENERIC_WRITE on the handle (learn.microsoft.com/windows/win32/api/
// fileapi/nf-fileapi-lockfileex).
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;
// Any program that can open the log can lock any range of it, for as long
// as it likes: LockFileEx without LOCKFILE_FAIL_IMMEDIATELY would then wait
// forever. A record instead tries again every 10 ms (another wrapper holds
// the lock for one write only), and all the records of a run wait 5 s in
// all: what one has waited, no later one waits again.
constexpr DWORD kLockWaitMilliseconds = 5000;
constexpr DWORD kLockRetryMilliseconds = 10;

HANDLE g_log = INVALID_HANDLE_VALUE;
std::wstring g_component;
// What is left of the log's waiting time, and how many records it lost
// since the last one written.
DWORD g_lockWaitLeft = kLockWaitMilliseconds;
unsigned long g_recordsLost = 0;

// The wrapper's file name without its extension: a log collected from many
// wrappers tells them apart by it.
std::wstring ComponentName()
{
    std::wstring name = ModulePath();
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
    return LogStampOf(local, zone, mode);
}

std::string RecordLine(LogType type, const std::wstring& message)
{
    return Utf8FromText(FormatLogRecord(message, type, Now(), g_component, GetCurrentThreadId()) + L"\r\n");
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

// Takes the record's lock, trying again while another program holds it,
// within what is left of the log's waiting time: ERROR_SUCCESS once taken,
// ERROR_LOCK_VIOLATION when still held, else why the file takes no lock.
DWORD LockRecordByte(OVERLAPPED& at)
{
    const DWORD start = GetTickCount();
    DWORD waited = 0;
    for (;;) {
        const bool locked =
            LockFileEx(g_log, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at);
        const DWORD error = locked ? ERROR_SUCCESS : GetLastError();
        if (error != ERROR_LOCK_VIOLATION || waited == g_lockWaitLeft) {
            g_lockWaitLeft -= waited;
            return error;
        }
        Sleep(std::min(kLockRetryMilliseconds, g_lockWaitLeft - waited));
        // Unsigned difference: right across the tick count's wrap. Only
        // pauses count: a lock taken at once costs nothing, whatever the
        // tick count did meanwhile.
        waited = std::min(GetTickCount() - start, g_lockWaitLeft);
    }
}

// A record whose lock byte another program still holds when the waiting
// time is spent is dropped: that program locked a range reaching far past
// the log's end, where the record would go, and on Windows a write into a
// range another handle has locked fails anyway (learn.microsoft.com/
// windows/win32/api/fileapi/nf-fileapi-lockfileex). A file that takes no
// lock at all (any other failure of LockFileEx) still gets the record,
// unlocked. The first record written after records were lost says how many.
void Append(LogType type, const std::wstring& message)
{
    std::string lines = RecordLine(type, message);
    OVERLAPPED at = {};
    at.OffsetHigh = kLockOffsetHigh;
    const DWORD lock = LockRecordByte(at);
    if (lock == ERROR_LOCK_VIOLATION) {
        ++g_recordsLost;
        return;
    }
    if (g_recordsLost > 0)
        lines = RecordLine(kLogWarning, L"The log lost " + std::to_wstring(g_recordsLost) +
                                            (g_recordsLost == 1 ? L" record" : L" records") +
                                            L" of this run before this one: another program held it locked, "
                                            L"or a write failed") +
                lines;
    // The first record of a new log brings the byte-order mark, under the
    // same lock, so that two runs that create the log together write one.
    LARGE_INTEGER size = {};
    const std::string bytes = GetFileSizeEx(g_log, &size) && size.QuadPart == 0 ? "\xEF\xBB\xBF" + lines : lines;
    DWORD written = 0;
    const bool whole = WriteFile(g_log, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                       written == bytes.size();
    g_recordsLost = whole ? 0 : g_recordsLost + 1;
    if (lock == ERROR_SUCCESS)
        UnlockFileEx(g_log, 0, 1, 0, &at);
}

} // namespace

LogStamp LogStampOf(const SYSTEMTIME& local, const TIME_ZONE_INFORMATION& zone, DWORD zoneMode)
{
    LogStamp stamp;
    stamp.year = local.wYear;
    stamp.month = local.wMonth;
    stamp.day = local.wDay;
    stamp.hour = local.wHour;
    stamp.minute = local.wMinute;
    stamp.second = local.wSecond;
    stamp.millisecond = local.wMilliseconds;
    stamp.biasMinutes = zone.Bias;
    if (zoneMode == TIME_ZONE_ID_DAYLIGHT)
        stamp.biasMinutes += zone.DaylightBias;
    else if (zoneMode == TIME_ZONE_ID_STANDARD)
        stamp.biasMinutes += zone.StandardBias;
    return stamp;
}

void OpenRunLog(const std::wstring& path)
{
    if (path.empty())
        return;
    const DWORD error = GetLastError();
    // A run opens one log. Another one opened after it (as tests do) starts
    // afresh: this one is closed, and nothing is waited or lost yet.
    if (g_log != INVALID_HANDLE_VALUE)
        CloseHandle(g_log);
    g_lockWaitLeft = kLockWaitMilliseconds;
    g_recordsLost = 0;
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
    Append(type, message);
    SetLastError(error);
}
