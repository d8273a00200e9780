#include "kit_debug_win.h"

#include <algorithm>

namespace {

// The file's path as GetFinalPathNameByHandleW gives it, without the
// "\\?\" it puts before it ("\\?\UNC\server\..." for a share), and the
// handle closed: the debugger must close the files its load events give it
// (https://learn.microsoft.com/windows/win32/api/minwinbase/ns-minwinbase-load_dll_debug_info).
std::wstring FinalPath(HANDLE file)
{
    if (file == nullptr) return L"(a module without a file handle)";
    wchar_t path[2 * MAX_PATH];
    const DWORD length = GetFinalPathNameByHandleW(file, path, 2 * MAX_PATH, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (length == 0 || length >= 2 * MAX_PATH)
        return L"(a module whose path is unknown: error " + std::to_wstring(error) + L")";
    const std::wstring name(path, length);
    if (name.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\" + name.substr(7);
    return name.compare(0, 4, L"\\\\?\\") == 0 ? name.substr(4) : name;
}

// STATUS_WX86_BREAKPOINT, "used by Win32 x86 emulation subsystem" (WoW64)
// in the NTSTATUS list
// (https://learn.microsoft.com/openspecs/windows_protocols/ms-erref/596a1078-e883-4972-9bbc-49e60bebca55),
// which says no more: the code with which a 64-bit debugger gets a
// breakpoint of a 32-bit program's own code, its loader's after the one of
// the 64-bit loader of its WoW64 part, as debuggers report it. Not seen
// under Wine 8, whose 32-bit programs break with EXCEPTION_BREAKPOINT
// alone. Continued as a breakpoint: unhandled, it would end the program.
const DWORD kWow64Breakpoint = 0x4000001F;

// After a time-out, with the job's processes ended: their last events
// taken and continued until RUNNING of them have exited, and the debugger
// detached from any that did not, so that no event of this run waits on
// the thread for the next run's loop to read and stop on.
void DrainAfterTimeOut(const std::vector<DWORD>& created, std::size_t running)
{
    constexpr DWORD kLastEventsMs = 5000;
    DEBUG_EVENT event = {};
    while (running > 0 && WaitForDebugEvent(&event, kLastEventsMs)) {
        if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT && event.u.CreateProcessInfo.hFile)
            CloseHandle(event.u.CreateProcessInfo.hFile);
        if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT && event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
        if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) --running;
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
    }
    if (running > 0)
        for (DWORD id : created) DebugActiveProcessStop(id);
}

}  // namespace

// The debug loop of "Writing the Debugger's Main Loop"
// (https://learn.microsoft.com/windows/win32/debug/writing-the-debugger-s-main-loop):
// breakpoints are continued as handled, the first of them the loader's,
// which comes once the DLLs the program imports are loaded and before its
// entry point runs (for a WoW64 program, the 32-bit loader's, which comes
// last); every other exception goes back to the program as unhandled.
std::wstring DebugInJob(CaseJob& job, const std::wstring& program, const std::wstring& arguments,
                        const std::wstring& folder, std::size_t watched, DebuggedRun& run)
{
    run = DebuggedRun();
    PROCESS_INFORMATION process = {};
    if (!StartInJob(job, program, arguments, DEBUG_PROCESS, folder, process))
        return program + L" did not start: error " + std::to_wstring(GetLastError());
    CloseHandle(process.hProcess);
    std::vector<DWORD> created;  // the processes' ids, in the order they started
    std::size_t running = 1;
    bool entered = false;
    while (running > 0) {
        DEBUG_EVENT event = {};
        if (!WaitForDebugEvent(&event, TimeLeft(job))) {
            const DWORD error = GetLastError();
            TimeOut(job);
            DrainAfterTimeOut(created, running);
            return program + (error == ERROR_SEM_TIMEOUT ? L" timed out under the debugger"
                                                         : L": no debug event, error " + std::to_wstring(error));
        }
        const auto at = std::find(created.begin(), created.end(), event.dwProcessId);
        const std::size_t index = static_cast<std::size_t>(at - created.begin());
        DWORD status = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
        case CREATE_PROCESS_DEBUG_EVENT:
            if (created.size() == watched) run.image = FinalPath(event.u.CreateProcessInfo.hFile);
            else if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
            running += created.empty() ? 0 : 1;
            created.push_back(event.dwProcessId);
            break;
        case LOAD_DLL_DEBUG_EVENT: {
            const std::wstring path = FinalPath(event.u.LoadDll.hFile);
            if (index == watched) run.modules.push_back(path);
            break;
        }
        case EXCEPTION_DEBUG_EVENT: {
            const DWORD code = event.u.Exception.ExceptionRecord.ExceptionCode;
            if (code != EXCEPTION_BREAKPOINT && code != kWow64Breakpoint)
                status = DBG_EXCEPTION_NOT_HANDLED;
            else if (index == watched && (!entered || code == kWow64Breakpoint))
                run.beforeEntry = run.modules.size(), entered = true;
            break;
        }
        case EXIT_PROCESS_DEBUG_EVENT:
            if (index == 0) run.exitCode = event.u.ExitProcess.dwExitCode;
            --running;
            break;
        default: break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    }
    return std::wstring();
}

bool RunningUnderWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}
