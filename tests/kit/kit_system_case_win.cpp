// The wrapper run as SYSTEM, as deployment agents and startup scripts run
// it, by a scheduled task: it patches the product, and its copies go to the
// folder that account's rule gives.
#include "kit_cases_win.h"
#include "kit_windows_cases_win.h"
#include "kit_files_win.h"
#include "kit_wine_win.h"
#include "text_win.h"
#include "verdicts.h"

namespace {

const wchar_t kTaskName[] = L"WrapperKit system run";
// For schtasks to stop and remove the task, after a case whose time is spent.
constexpr DWORD kCleanupLimitMs = 60000;

std::wstring Schtasks(CaseJob& job, const std::wstring& arguments)
{
    DWORD code = 0;
    if (!RunInJob(job, SystemProgram(L"schtasks.exe"), arguments, code))
        return L"schtasks " + arguments + L" did not end: error " + std::to_wstring(GetLastError());
    return code == 0 ? std::wstring() : L"schtasks " + arguments + L" answered " + std::to_wstring(code);
}

// The first line of a file, empty while there is none.
std::wstring FirstLine(const std::wstring& path)
{
    std::string text;
    ReadWholeFile(path, text);
    text = text.substr(0, text.find_first_of("\r\n"));
    return from_utf8(text.substr(0, text.find_last_not_of(' ') + 1));
}

// Where a run as SYSTEM puts its copies: the folder GetTempPath2W gives
// SYSTEM, C:\Windows\SystemTemp, on systems that have the function
// (learn.microsoft.com/windows/win32/api/fileapi/nf-fileapi-gettemppath2w);
// elsewhere the TMP of SYSTEM's environment, as the task's script saw it.
std::wstring SystemCopyFolder(const std::wstring& tmpSeen)
{
    if (!GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTempPath2W")) return tmpSeen;
    wchar_t windows[MAX_PATH] = {};
    const UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::wstring() : std::wstring(windows) + L"\\SystemTemp";
}

// The task's script: the run, its exit code, the TMP it had, and the
// installer log it left in SYSTEM's temporary folder removed (whichever
// that folder is: only SYSTEM may open C:\Windows\SystemTemp). The exit
// code is written last: it tells the case the script is done. cmd takes a
// script's bytes in the console's code page (chcp, learn.microsoft.com/
// windows-server/administration/windows-commands/chcp): UTF-8 after chcp
// 65001, so that a user folder's name outside ASCII reaches the wrapper.
std::string SystemScript(const Kit& kit, const std::wstring& log, const std::wstring& exit, const std::wstring& tmp)
{
    const std::wstring installerLog = kit.products[kAlpha].name + L" SP install.log";
    return to_utf8(L"@chcp 65001 >nul\r\n@" + Quoted(kit.dir + L"\\a.exe") + L" /q /exitcode /log " + Quoted(log) +
                   L"\r\n@set code=%errorlevel%\r\n@>" + Quoted(tmp) + L" echo %TMP%\r\n@del /q \"%TMP%\\" +
                   installerLog + L"\" \"%TEMP%\\" + installerLog + L"\" \"%SystemRoot%\\SystemTemp\\" + installerLog +
                   L"\" 2>nul\r\n@>" + Quoted(exit) + L" echo %code%\r\n");
}

}  // namespace

Findings SystemRun(const Kit& kit, CaseJob& job)
{
    if (UnderWine()) return NotPossibleUnderWine(L"it has no task scheduler that runs a program as SYSTEM");
    const KitProduct& alpha = kit.products[kAlpha];
    const std::wstring script = kit.work + L"\\system-run.cmd", log = kit.work + L"\\system-run.log",
                       exit = kit.work + L"\\system-run.exit", tmp = kit.work + L"\\system-run.tmp";
    Findings found;
    found.Step(InstallFresh(job, alpha));
    found.Holds(L"cannot write " + script, WriteWholeFile(script, SystemScript(kit, log, exit, tmp)));
    if (!found.why.empty()) return found;
    found.Step(Schtasks(job, L"/create /ru SYSTEM /sc once /st 00:00 /tn " + Quoted(kTaskName) + L" /tr " +
                                 Quoted(Quoted(script)) + L" /f"));
    found.Step(Schtasks(job, L"/run /tn " + Quoted(kTaskName)));
    if (found.why.empty())
        found.Holds(L"the task wrote no exit code in the case's time",
                    WaitUntil(job, [&exit] { return !FirstLine(exit).empty(); }));
    // In a job of its own: the case's may be spent.
    CaseJob cleanup;
    if (OpenCaseJob(cleanup, kCleanupLimitMs)) {
        Schtasks(cleanup, L"/end /tn " + Quoted(kTaskName));
        found.Step(Schtasks(cleanup, L"/delete /tn " + Quoted(kTaskName) + L" /f"));
    }
    CloseCaseJob(cleanup);
    found.Same(L"the run's exit code as SYSTEM", FirstLine(exit), L"0");
    found.Same(L"version after", VersionNow(alpha), kUpgradeVersion);
    std::string text;
    ReadWholeFile(log, text);
    const KitVerdict copies = CopyFolderVerdict(LogFolderLine(from_utf8(text)), SystemCopyFolder(FirstLine(tmp)));
    found.Step(copies.reason);
    return found;
}
