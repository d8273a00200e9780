#include "kit_debug_win.h"

#include <psapi.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "kit/verdicts.h"

namespace {

// A path as GetFinalPathNameByHandleW gives it, without the "\\?\" it puts
// before it ("\\?\UNC\server\..." for a share).
std::wstring WithoutVerbatimPrefix(const std::wstring& name)
{
    if (name.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\" + name.substr(7);
    return name.compare(0, 4, L"\\\\?\\") == 0 ? name.substr(4) : name;
}

// The file's path, empty with the last-error value when it has none; the
// handle closed either way: the debugger must close the files its events
// give it (https://learn.microsoft.com/windows/win32/api/minwinbase/ns-minwinbase-load_dll_debug_info).
std::wstring FinalPath(HANDLE file)
{
    wchar_t path[2 * MAX_PATH];
    const DWORD length = GetFinalPathNameByHandleW(file, path, 2 * MAX_PATH, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    const DWORD error = GetLastError();
    CloseHandle(file);
    SetLastError(error);
    return length == 0 || length >= 2 * MAX_PATH ? std::wstring() : WithoutVerbatimPrefix(std::wstring(path, length));
}

// Each drive letter's device, as GetMappedFileNameW begins its paths with
// (QueryDosDeviceW, https://learn.microsoft.com/windows/win32/api/fileapi/nf-fileapi-querydosdevicew:
// the first of the names it gives is the current one).
std::vector<DriveDevice> DriveDevices()
{
    std::vector<DriveDevice> drives;
    for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
        const wchar_t drive[] = {letter, L':', 0};
        wchar_t device[MAX_PATH] = {};
        if (QueryDosDeviceW(drive, device, MAX_PATH) > 0) drives.push_back({drive, device});
    }
    return drives;
}

std::wstring Hexadecimal(std::uintptr_t value)
{
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text;
    do text.insert(text.begin(), kDigits[value % 16]), value /= 16;
    while (value != 0);
    return L"0x" + text;
}

// The string at ADDRESS in PROCESS, UTF-16 or in the ANSI code page: empty
// where it cannot be read. Read to the end of a page at a time, as a read
// into memory that is not there fails whole (ReadProcessMemory,
// https://learn.microsoft.com/windows/win32/api/memoryapi/nf-memoryapi-readprocessmemory).
std::wstring RemoteString(HANDLE process, const void* address, bool unicode)
{
    SYSTEM_INFO system = {};
    GetSystemInfo(&system);
    const std::size_t page = system.dwPageSize, unit = unicode ? sizeof(wchar_t) : 1;
    std::vector<char> bytes;
    std::uintptr_t at = reinterpret_cast<std::uintptr_t>(address);
    std::size_t scanned = 0;
    while (bytes.size() < 2 * 32768) {
        const std::size_t size = page - at % page, before = bytes.size();
        bytes.resize(before + size);
        SIZE_T read = 0;
        if (!ReadProcessMemory(process, reinterpret_cast<const void*>(at), bytes.data() + before, size, &read) ||
            read == 0)
            return std::wstring();
        bytes.resize(before + read);
        at += read;
        for (; scanned + unit <= bytes.size(); scanned += unit) {
            if (bytes[scanned] != 0 || (unicode && bytes[scanned + 1] != 0)) continue;
            if (unicode) {
                std::wstring text(scanned / unit, L'\0');
                std::memcpy(&text[0], bytes.data(), scanned);
                return text;
            }
            const int length = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(scanned), nullptr, 0);
            std::wstring text(static_cast<std::size_t>(length), L'\0');
            if (length > 0)
                MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(scanned), &text[0], length);
            return text;
        }
    }
    return std::wstring();
}

// The name the loader left for the debugger: IMAGE_NAME is the address, in
// PROCESS, of a pointer to it, either of which may be null
// (https://learn.microsoft.com/windows/win32/api/minwinbase/ns-minwinbase-load_dll_debug_info).
// The pointer is read at the debugger's width; for a WoW64 program that
// may be wrong, and only a plain full path is taken from it.
std::wstring ImageName(HANDLE process, void* imageName, WORD unicode)
{
    void* name = nullptr;
    SIZE_T read = 0;
    if (imageName == nullptr || !ReadProcessMemory(process, imageName, &name, sizeof name, &read) ||
        read != sizeof name || name == nullptr)
        return std::wstring();
    const std::wstring path = WithoutVerbatimPrefix(RemoteString(process, name, unicode != 0));
    return IsPlainFullPath(path) ? path : std::wstring();
}

// A module's path: from the file handle of its event where there is one,
// else, as LOAD_DLL_DEBUG_INFO allows a null handle, from the name of the
// file mapped at its base (GetMappedFileNameW,
// https://learn.microsoft.com/windows/win32/api/psapi/nf-psapi-getmappedfilenamew,
// on a handle with the rights it and ReadProcessMemory ask for), else from
// the name the loader left; or what was tried. The loader's name comes
// last because it is the loader's word, not the file's: under Wine 8, with
// a DLL's built-in preferred only after a copy found on the search path
// ("n,b"), it named the planted copy beside the program while the file
// handle and the absent marker showed Wine's own DLL mapped. (Wine 8 gives
// every load event a file handle, and answers GetMappedFileNameW on
// another process with error 5, so there the rest is never reached.)
std::wstring ModulePath(HANDLE file, DWORD processId, void* base, void* imageName, WORD unicode,
                        std::vector<DriveDevice>& drives)
{
    std::wstring tried = file == nullptr ? L"without a file handle" : std::wstring();
    if (file != nullptr) {
        const std::wstring path = FinalPath(file);
        if (!path.empty()) return path;
        tried = L"its file's path: error " + std::to_wstring(GetLastError());
    }
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (process == nullptr)
        return L"(a module at " + Hexadecimal(reinterpret_cast<std::uintptr_t>(base)) + L", " + tried +
               L"; its process cannot be opened: error " + std::to_wstring(GetLastError()) + L")";
    wchar_t device[2 * MAX_PATH];
    const DWORD length = GetMappedFileNameW(process, base, device, 2 * MAX_PATH);
    const DWORD error = GetLastError();
    std::wstring path;
    if (length > 0 && length < 2 * MAX_PATH) {
        if (drives.empty()) drives = DriveDevices();
        path = DrivePathOf(std::wstring(device, length), drives);
        tried += L"; its mapping " + std::wstring(device, length) + L" is on no drive";
    } else {
        tried += L"; its mapping's name: error " + std::to_wstring(error);
    }
    if (path.empty()) path = ImageName(process, imageName, unicode);
    CloseHandle(process);
    if (!path.empty()) return path;
    return L"(a module at " + Hexadecimal(reinterpret_cast<std::uintptr_t>(base)) + L", " + tried +
           L"; no image name)";
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
    std::vector<DWORD> created;       // the processes' ids, in the order they started
    std::vector<DriveDevice> drives;  // read once a module's file needs them
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
        case CREATE_PROCESS_DEBUG_EVENT: {
            const CREATE_PROCESS_DEBUG_INFO& info = event.u.CreateProcessInfo;
            if (created.size() == watched)
                run.image = ModulePath(info.hFile, event.dwProcessId, info.lpBaseOfImage, info.lpImageName,
                                       info.fUnicode, drives);
            else if (info.hFile)
                CloseHandle(info.hFile);
            running += created.empty() ? 0 : 1;
            created.push_back(event.dwProcessId);
            break;
        }
        case LOAD_DLL_DEBUG_EVENT: {
            const LOAD_DLL_DEBUG_INFO& info = event.u.LoadDll;
            if (index == watched)
                run.modules.push_back(ModulePath(info.hFile, event.dwProcessId, info.lpBaseOfDll, info.lpImageName,
                                                 info.fUnicode, drives));
            else if (info.hFile)
                CloseHandle(info.hFile);
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

