// Another installation holds the installer while the wrapper starts: the
// wrapper waits for it within /wait, then installs. hold_installer.exe
// stands in for the other installation; it owns the installer's execution
// mutex as the installer service does while it runs one.
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

}  // namespace

Findings BusyInstaller(const Kit& kit, CaseJob& job)
{
    const KitProduct& alpha = kit.products[kAlpha];
    const std::wstring held = kit.work + L"\\busy-held", release = kit.work + L"\\busy-release",
                       log = kit.work + L"\\busy.log";
    Findings found;
    found.Step(InstallFresh(job, alpha));
    HANDLE holder = StartInJob(job, kit.dir + L"\\hold_installer.exe", Quoted(held) + L" " + Quoted(release));
    found.Holds(L"hold_installer.exe did not start", holder != nullptr);
    // It ends at once when it cannot own the mutex.
    if (holder != nullptr)
        WaitUntil(job, [&] { return FileExists(held) || WaitForSingleObject(holder, 0) == WAIT_OBJECT_0; });
    found.Holds(L"hold_installer.exe did not take the installer's execution mutex", FileExists(held));
    const std::wstring arguments = L"/q /wait 1 /exitcode /log " + Quoted(log);
    HANDLE wrapper = found.why.empty() ? StartInJob(job, kit.dir + L"\\a.exe", arguments) : nullptr;
    found.Holds(L"a.exe did not start", wrapper != nullptr);
    if (wrapper != nullptr) {
        WaitUntil(job, [&] { return LogHolds(log, kBusyRecord) || WaitForSingleObject(wrapper, 0) == WAIT_OBJECT_0; });
        found.Holds(L"the wrapper's log has no record that it waits for the installer", LogHolds(log, kBusyRecord));
    }
    if (found.why.empty()) Sleep(kHoldMs);
    WriteWholeFile(release, std::string());
    DWORD code = 0;
    if (holder != nullptr) found.Holds(L"hold_installer.exe did not end", WaitInJob(job, holder, code));
    if (wrapper != nullptr) {
        found.Holds(L"a.exe did not end", WaitInJob(job, wrapper, code));
        found.Same(L"a.exe's exit code", std::to_wstring(code), L"0");
    }
    const int waited = SecondsWaited(log);
    found.Holds(L"the log says the wrapper waited " + std::to_wstring(waited) + L" s, expected 2 or more", waited >= 2);
    found.Same(L"version after", VersionNow(alpha), kUpgradeVersion);
    return found;
}
