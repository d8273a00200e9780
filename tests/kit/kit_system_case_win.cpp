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

// The task, as Task Scheduler's XML gives it ("Task Scheduler Schema"):
// run as SYSTEM (S-1-5-18) on demand, with the battery settings off, which
// schtasks /create would leave on, so that a laptop on battery still
// starts it ("DisallowStartIfOnBatteries (settingsType) Element",
// "StopIfGoingOnBatteries"), and a time limit of its own. In UTF-16 with
// its byte-order mark, as schtasks /xml reads a task file.
std::string TaskXml(const std::wstring& script)
{
    const std::wstring xml =
        L"\xFEFF<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
        L"<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
        L"  <Principals><Principal id=\"Author\"><UserId>S-1-5-18</UserId><RunLevel>HighestAvailable</RunLevel>"
        L"</Principal></Principals>\r\n"
        L"  <Settings>\r\n"
        L"    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\r\n"
        L"    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\r\n"
        L"    <ExecutionTimeLimit>PT10M</ExecutionTimeLimit>\r\n"
        L"    <Enabled>true</Enabled>\r\n"
        L"  </Settings>\r\n"
        L"  <Actions Context=\"Author\"><Exec><Command>" + SystemProgram(L"cmd.exe") + L"</Command>"
        L"<Arguments>/c \"" + script + L"\"</Arguments></Exec></Actions>\r\n"
        L"</Task>\r\n";
    return std::string(reinterpret_cast<const char*>(xml.data()), xml.size() * sizeof(wchar_t));
}

// What schtasks says of the task (its status and last result among it),
// for a run that did not end: the lines that carry a result or a status.
std::wstring TaskState(CaseJob& job, const std::wstring& into)
{
    DWORD code = 0;
    RunInJob(job, SystemProgram(L"cmd.exe"),
             L"/c \"" + Quoted(SystemProgram(L"schtasks.exe")) + L" /query /tn " + Quoted(kTaskName) + L" /v /fo list > " +
                 Quoted(into) + L"\"",
             code);
    std::string text;
    ReadWholeFile(into, text);
    std::string state;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::string line = text.substr(at, end - at);
        if (line.find("Result") != std::string::npos || line.find("Status") != std::string::npos)
            state += (state.empty() ? "" : "; ") + line.substr(0, line.find_last_not_of(" \r") + 1);
        at = end + 1;
    }
    return state.empty() ? L"schtasks /query said nothing of its state" : from_utf8(state);
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
// installer log it left in SYSTEM's temporary folder copied to the kit's
// logs and removed (whichever that folder is: only SYSTEM may open
// C:\Windows\SystemTemp). The exit
// code is written last: it tells the case the script is done. cmd takes a
// script's bytes in the console's code page (chcp, learn.microsoft.com/
// windows-server/administration/windows-commands/chcp): UTF-8 after chcp
// 65001, so that a user folder's name outside ASCII reaches the wrapper.
std::string SystemScript(const Kit& kit, const std::wstring& log, const std::wstring& exit, const std::wstring& tmp)
{
    const std::wstring installerLog = kit.products[kAlpha].name + L" SP install.log";
    return to_utf8(L"@chcp 65001 >nul\r\n@" + Quoted(kit.dir + L"\\a.exe") + L" /q /exitcode /log " + Quoted(log) +
                   L"\r\n@set code=%errorlevel%\r\n@>" + Quoted(tmp) + L" echo %TMP%\r\n" +
                   L"@for %%f in (\"%TMP%\" \"%TEMP%\" \"%SystemRoot%\\SystemTemp\") do @copy /y \"%%~f\\" + installerLog +
                   L"\" " + Quoted(kit.logs + L"\\system-run-" + installerLog) + L" >nul 2>&1\r\n@del /q \"%TMP%\\" +
                   installerLog + L"\" \"%TEMP%\\" + installerLog + L"\" \"%SystemRoot%\\SystemTemp\\" + installerLog +
                   L"\" 2>nul\r\n@>" + Quoted(exit) + L" echo %code%\r\n");
}

}  // namespace

Findings SystemRun(const Kit& kit, CaseJob& job)
{
    if (UnderWine()) return NotPossibleUnderWine(L"it has no task scheduler that runs a program as SYSTEM");
    const KitProduct& alpha = kit.products[kAlpha];
    const std::wstring script = kit.work + L"\\system-run.cmd", log = kit.work + L"\\system-run.log",
                       exit = kit.work + L"\\system-run.exit", tmp = kit.work + L"\\system-run.tmp",
                       task = kit.work + L"\\system-run.xml";
    Findings found;
    found.Step(InstallFresh(job, alpha));
    found.Holds(L"cannot write " + script, WriteWholeFile(script, SystemScript(kit, log, exit, tmp)));
    found.Holds(L"cannot write " + task, WriteWholeFile(task, TaskXml(script)));
    if (!found.why.empty()) return found;
    found.Step(Schtasks(job, L"/create /xml " + Quoted(task) + L" /tn " + Quoted(kTaskName) + L" /f"));
    found.Step(Schtasks(job, L"/run /tn " + Quoted(kTaskName)));
    if (found.why.empty() && !WaitUntil(job, [&exit] { return !FirstLine(exit).empty(); })) {
        // In a job of its own: the case's is spent.
        CaseJob query;
        const std::wstring state =
            OpenCaseJob(query, kCleanupLimitMs) ? TaskState(query, kit.work + L"\\task.txt") : L"its state unknown";
        CloseCaseJob(query);
        found.Step(L"the task wrote no exit code in the case's time: " + state);
    }
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
