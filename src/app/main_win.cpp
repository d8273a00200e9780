#include "app/command_line.h"
#include "app/command_line_win.h"
#include "app/exit_code.h"
#include "app/install_run_win.h"
#include "app/receipt_win.h"
#include "app/uninstall_run_win.h"
#include "app/whatif_win.h"
#include "diagnostics/os_description_win.h"
#include "diagnostics/report_win.h"
#include "messages/message_box_win.h"
#include "payload/extract_win.h"
#include "payload/patch_slots.h"
#include "payload/temp_folder_win.h"
#include "shared/dll_search_win.h"
#include "shared/process_state.h"
#include "shared/process_state_win.h"
#include "shared/run_log_win.h"
#include "version.h"

#include <windows.h>

namespace {

constexpr unsigned kBoxHelp = MB_OK | MB_ICONINFORMATION;

void ExtractAllPatches(const std::wstring& path)
{
    // Every slot is tried; an absent or unwritable one is skipped silently.
    for (int slot = 1; slot <= kPatchSlotCount; ++slot)
        ExtractPatch(path, PatchResourceName(slot), slot);
}

const wchar_t* Elevation()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return L"unknown";
    TOKEN_ELEVATION elevation = {};
    DWORD length = 0;
    const bool known = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &length);
    CloseHandle(token);
    if (!known)
        return L"unknown";
    return elevation.TokenIsElevated ? L"yes" : L"no";
}

// What an administrator needs to place a log among thousands: which wrapper,
// asked for what, on which system, with which rights and temporary folder.
void LogRunStart()
{
    std::wstring osName = L"Windows";
    VersionQuad osVersion;
    DescribeOperatingSystem(osName, osVersion);
    Log(kLogInfo, L"Patch wrapper " WRAPPER_VERSION_TEXT L" started: " + std::wstring(GetCommandLineW()));
    Log(kLogInfo, L"Operating system " + osName + L"(" + FormatVersion(osVersion) + L"); elevated: " +
                      Elevation() + L"; temporary folder " + TempCopyFolder());
    for (const std::wstring& word : Options.ignoredWords)
        Log(kLogWarning, L"\"" + word + L"\" is no word of this wrapper; it is ignored");
}

// The list of words, for "/?" and for a command line that cannot be
// followed: then nothing else is done, and under /q no box waits for
// somebody who is not there, not even one /? asked for beside the error.
int ShowCommandLineHelp()
{
    const bool usageError = !Options.usageError.empty();
    if (usageError)
        Log(kLogError, L"The command line cannot be followed: " + Options.usageError + L"; nothing is done");
    const bool shown = !usageError || !Options.quiet;
    Log(kLogInfo, std::wstring(L"The list of command-line words is ") + (shown ? L"shown" : L"not shown (/q)"));
    if (shown)
        ShowMessageBox(kCommandLineHelp, L"Help", kBoxHelp);
    if (!usageError)
        return 0;
    Log(ExitCodeLogType(kInvalidCommandLine), ExitCodeRecord(kInvalidCommandLine, Options.deploymentExitCode));
    return kInvalidCommandLine;
}

// Runs what the command line asked for, recording it for the receipt, and
// returns the code /exitcode gives.
unsigned RunModes(RunReceipt& receipt)
{
    if (Options.helpMode || !Options.usageError.empty())
        return ShowCommandLineHelp();
    receipt.outcomeKnown = Options.installMode || Options.whatIfMode || Options.uninstallMode;
    if (Options.installMode)
        return RunInstall(receipt.run);
    receipt.planned = Options.whatIfMode;
    receipt.uninstall = Options.uninstallMode;
    if (Options.uninstallMode)
        return RunUninstall(receipt.run, Options.whatIfMode);
    unsigned exitCode = 0;
    if (Options.whatIfMode)
        exitCode = RunWhatIf(receipt.run);
    if (Options.extractMode)
        ExtractAllPatches(Options.extractPath);
    if (Options.infoMode)
        ShowPatchReport();
    return exitCode;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    RestrictDllSearchToSystemFolder();
    ModuleInstance = instance;
    RunReceipt receipt;
    receipt.start = UtcNow();
    ParseCommandLine();
    OpenRunLog(Options.logPath);
    // A run without a log asks nothing it does not need.
    if (RunLogOpen())
        LogRunStart();

    const unsigned exitCode = RunModes(receipt);
    RecordRun(receipt, exitCode);
    return Options.deploymentExitCode ? static_cast<int>(exitCode) : 0;
}
