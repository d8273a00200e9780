#include "app/install_run_win.h"

#include "app/exit_code.h"
#include "app/install_run.h"
#include "install/decision_win.h"
#include "install/rollback_win.h"
#include "messages/message_box_win.h"
#include "messages/outcome_box_win.h"
#include "shared/process_state.h"
#include "shared/run_log_win.h"

#include <windows.h>

namespace {

// A wrapper built without any patch: a plain notice, shown even when quiet.
// "Infomation" is spelled so on purpose: deployments and scripts that look
// for this box know it by that caption.
void ShowMissingPatchNotice()
{
    ShowMessageBox(L"Please rebuild patch wrapper with real msp in res folder", L"Debug Infomation", 0);
}

} // namespace

unsigned RunInstall()
{
    InstalledFlags installed = {};
    PatchOutcome overall = kNoOutcome;
    for (int slot = 1; slot <= kPatchSlotCount; ++slot) {
        const PatchOutcome outcome = ProcessPatch(PatchResourceName(slot), true);
        if (outcome == Installed)
            installed[slot] = true;
        if (FoldOutcome(overall, outcome))
            break;
    }

    const unsigned exitCode =
        DeploymentExitCode(overall, GetLastError(), RestartRequest, FirstInstallerFailure, ProductLeftBehind);
    // Reading the last-error value changes nothing: the box below still shows it.
    Log(OutcomeLogType(overall), std::wstring(L"The run's outcome: ") + OutcomeName(overall));
    if (overall == NoPatch) {
        Log(kLogError, L"The wrapper carries no patch: the rebuild notice is shown");
        ShowMissingPatchNotice();
    } else {
        const int messageId = OutcomeMessageId(overall);
        Log(kLogInfo, L"Message " + std::to_wstring(messageId) + (Options.quiet ? L" not shown (/q)" : L" shown"));
        ShowOutcomeMessage(messageId);
    }

    // After the box is closed: the user sees the outcome before removal starts.
    if (RunNeedsRollback(overall))
        RollBackInstalled(installed);
    Log(ExitCodeLogType(exitCode), ExitCodeRecord(exitCode, Options.deploymentExitCode));
    return exitCode;
}

void RollBackInstalled(const InstalledFlags& flags)
{
    for (int slot = 1; slot <= kPatchSlotCount; ++slot) {
        if (flags[slot]) {
            Log(kLogInfo, L"Rolling back " + PatchResourceName(slot) + L", installed by this run");
            RollBackPatch(PatchResourceName(slot));
        }
    }
}
