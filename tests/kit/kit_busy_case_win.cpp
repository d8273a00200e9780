// Another installation holds the installer while the wrapper starts: the
// wrapper waits for it within /wait, then installs. In busy-installer,
// hold_installer.exe stands in for the other installation; it owns the
// installer's execution mutex as the installer service does while it runs
// one. In busy-installation, the other installation is real: Busy's, whose
// custom action waits while the installer executes its script.
#include "kit_cases_win.h"
#include "kit_windows_cases_win.h"
#include "kit_files_win.h"
#include "text_win.h"

#include <cstdlib>

namespace {

// How long the other installation goes on once the wrapper waits for it.
constexpr DWORD kHoldMs = 3000;
const char kBusyRecord[] = "the installer is busy with another installation";

bool LogHolds(const std::wstring& log, const char* text)
{
    std::string bytes;
    return ReadWholeFile(log, bytes) && bytes.find(text) != std::string::npos;
}

// The seconds of the log's "waited N s for the installer" record, -1 without one.
int SecondsWaited(const std::wstring& log)
{
    std::string bytes;
    ReadWholeFile(log, bytes);
    const std::size_t at = bytes.find(": waited ");
    return at == std::string::npos ? -1 : std::atoi(bytes.c_str() + at + 9);
}

// a.exe under /wait on Alpha while another installation holds the
// installer, once the case has found nothing wrong: the process once its log
// records that it waits, or null.
HANDLE StartWaitingWrapper(const Kit& kit, CaseJob& job, Findings& found, const std::wstring& log)
{
    const std::wstring arguments = L"/q /wait 1 /exitcode /log " + Quoted(log);
    HANDLE wrapper = found.why.empty() ? StartInJob(job, kit.dir + L"\\a.exe", arguments) : nullptr;
    found.Holds(L"a.exe did not start", wrapper != nullptr);
    if (wrapper != nullptr) {
        WaitUntil(job, [&] { return LogHolds(log, kBusyRecord) || WaitForSingleObject(wrapper, 0) == WAIT_OBJECT_0; });
        found.Holds(L"the wrapper's log has no record that it waits for the installer", LogHolds(log, kBusyRecord));
    }
    return wrapper;
}

// The wrapper's end once the other installation is over: it waited 2 s or
// more and then installed.
void ExpectWaitedAndInstalled(const Kit& kit, CaseJob& job, Findings& found, HANDLE wrapper, const std::wstring& log)
{
    DWORD code = 0;
    if (wrapper != nullptr) {
        found.Holds(L"a.exe did not end", WaitInJob(job, wrapper, code));
        found.Same(L"a.exe's exit code", std::to_wstring(code), L"0");
    }
    const int waited = SecondsWaited(log);
    found.Holds(L"the log says the wrapper waited " + std::to_wstring(waited) + L" s, expected 2 or more", waited >= 2);
    found.Same(L"version after", VersionNow(kit.products[kAlpha]), kUpgradeVersion);
}

// Whether some process, the installer service for one, owns its execution
// mutex now (learn.microsoft.com/windows/win32/msi/-msiexecute-mutex).
std::wstring ExecutionMutexProblem()
{
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, L"Global\\_MSIExecute");
    if (mutex == nullptr) return L"OpenMutexW(Global\\_MSIExecute): error " + std::to_wstring(GetLastError());
    const DWORD waited = WaitForSingleObject(mutex, 0);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) ReleaseMutex(mutex);
    CloseHandle(mutex);
    return waited == WAIT_TIMEOUT ? std::wstring() : L"Global\\_MSIExecute exists but nobody owns it";
}

// Where Busy's custom action writes that it started: ./windows-kit gives
// it as [WindowsFolder]Temp\WrapperKit-busy.started.
std::wstring BusyMarker()
{
    wchar_t windows[MAX_PATH] = {};
    const UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::wstring()
                                             : std::wstring(windows) + L"\\Temp\\WrapperKit-busy.started";
}

}  // namespace

Findings BusyInstaller(const Kit& kit, CaseJob& job)
{
    const std::wstring held = kit.work + L"\\busy-held", release = kit.work + L"\\busy-release",
                       log = kit.work + L"\\busy.log";
    Findings found;
    found.Step(InstallFresh(job, kit.products[kAlpha]));
    HANDLE holder = StartInJob(job, kit.dir + L"\\hold_installer.exe", Quoted(held) + L" " + Quoted(release));
    found.Holds(L"hold_installer.exe did not start", holder != nullptr);
    // It ends at once when it cannot own the mutex.
    if (holder != nullptr)
        WaitUntil(job, [&] { return FileExists(held) || WaitForSingleObject(holder, 0) == WAIT_OBJECT_0; });
    found.Holds(L"hold_installer.exe did not take the installer's execution mutex", FileExists(held));
    HANDLE wrapper = StartWaitingWrapper(kit, job, found, log);
    if (found.why.empty()) Sleep(kHoldMs);
    WriteWholeFile(release, std::string());
    DWORD code = 0;
    if (holder != nullptr) found.Holds(L"hold_installer.exe did not end", WaitInJob(job, holder, code));
    ExpectWaitedAndInstalled(kit, job, found, wrapper, log);
    return found;
}

// Busy's installation writes the marker and then waits about 8 s inside its
// script: the wrapper starts then.
Findings BusyInstallation(const Kit& kit, CaseJob& job)
{
    const std::wstring marker = BusyMarker(), log = kit.work + L"\\installation.log";
    Findings found;
    found.Holds(L"no Windows folder", !marker.empty());
    DeleteFileW(marker.c_str());
    found.Step(InstallFresh(job, kit.products[kAlpha]));
    const std::wstring install = L"/i " + Quoted(kit.products[kBusy].package) + L" /qn";
    HANDLE installing = found.why.empty() ? StartInJob(job, SystemProgram(L"msiexec.exe"), install) : nullptr;
    found.Holds(L"msiexec did not start", installing != nullptr);
    if (installing != nullptr)
        WaitUntil(job, [&] { return FileExists(marker) || WaitForSingleObject(installing, 0) == WAIT_OBJECT_0; });
    found.Holds(L"Busy's installation wrote no " + marker, FileExists(marker));
    HANDLE wrapper = nullptr;
    const std::wstring mutex = found.why.empty() ? ExecutionMutexProblem() : std::wstring();
    if (!mutex.empty())
        found.WineCannotShow(L"the installer holds no execution mutex while it installs Busy (" + mutex + L")");
    else
        wrapper = StartWaitingWrapper(kit, job, found, log);
    DWORD code = 0;
    if (installing != nullptr) {
        found.Holds(L"msiexec /i busy.msi did not end", WaitInJob(job, installing, code));
        found.Same(L"msiexec /i busy.msi: exit code", std::to_wstring(code), L"0");
    }
    DeleteFileW(marker.c_str());
    if (mutex.empty()) ExpectWaitedAndInstalled(kit, job, found, wrapper, log);
    return found;
}
