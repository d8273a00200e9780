#include "app/install_run_win.h"

#include "app/exit_code.h"
#include "app/install_run.h"
#include "install/decision.h"
#include "install/decision_win.h"
#include "install/rollback_win.h"
#include "messages/message_box_win.h"
#include "messages/outcome_box_win.h"
#include "payload/targeting.h"
#include "shared/process_state.h"
#include "shared/run_log_win.h"

#include <windows.h>

// "Infomation" is spelled so on purpose: deployments and scripts that look
// for this box know it by that caption.
void ShowMissingPatchNotice()
{
    ShowMessageBox(L"Please rebuild patch wrapper with real msp in res folder", L"Debug Infomation", 0);
}

void ShowRunOutcome(int messageId, const std::vector<std::wstring>& values)
{
    Log(kLogInfo, L"Message " + std::to_wstring(messageId) + (Options.quiet ? L" not shown (/q)" : L" shown"));
    ShowOutcomeMessage(messageId, values);
}

SlotRecord RecordOfSlot(int slotNumber, PatchOutcome outcome, const SlotDecision& decision)
{
    SlotRecord slot;
    slot.slot = slotNumber;
    slot.resourceName = PatchResourceName(slotNumber);
    slot.patchCode = decision.targeting.patchCode;
    slot.size = decision.patch.size;
    slot.targetVersions = decision.targeting.targetVersions;
    slot.upgradeVersion = decision.targeting.upgradeVersion;
    slot.targetProducts = TemplateProductCodes(decision.targeting.products);
    for (const std::wstring& code : slot.targetProducts) {
        ProductRecord product;
        product.productCode = code;
        product.targetVersions = slot.targetVersions;
        product.upgradeVersion = slot.upgradeVersion;
        for (const auto& record : decision.records) {
            if (record->productCode == code)
                product = *record;
        }
        slot.products.push_back(product);
    }
    slot.outcome = outcome;
    return slot;
}

unsigned RunInstall(RunRecord& run)
{
    for (int slotNumber = 1; slotNumber <= kPatchSlotCount; ++slotNumber) {
        SlotDecision decision;
        const PatchOutcome outcome = ProcessPatch(PatchResourceName(slotNumber), true, decision);
        if (outcome != NoPatch)
            run.slots.push_back(RecordOfSlot(slotNumber, outcome, decision));
        if (FoldOutcome(run.overall, outcome)) {
            run.stopped = true;
            break;
        }
    }

    const PatchOutcome overall = run.overall;
    const unsigned exitCode = run.exitCode =
        DeploymentExitCode(overall, GetLastError(), RestartRequest, FirstInstallerFailure, ProductLeftBehind);
    // Reading the last-error value changes nothing: the box below still shows it.
    Log(OutcomeLogType(overall), std::wstring(L"The run's outcome: ") + OutcomeName(overall));
    if (overall == NoPatch) {
        Log(kLogError, L"The wrapper carries no patch: the rebuild notice is shown");
        ShowMissingPatchNotice();
    } else {
        ShowRunOutcome(OutcomeMessageId(overall));
    }

    // After the box is closed: the user sees the outcome before removal starts.
    if (RunNeedsRollback(overall))
        RollBackInstalled(run);
    Log(ExitCodeLogType(exitCode), ExitCodeRecord(exitCode, Options.deploymentExitCode));
    return exitCode;
}

void RollBackInstalled(RunRecord& run)
{
    for (SlotRecord& slot : run.slots) {
        if (slot.outcome == Installed) {
            Log(kLogInfo, L"Rolling back " + slot.resourceName + L", installed by this run");
            slot.removedAgain = RollBackPatch(slot.resourceName, slot.keptApplied);
            for (const KeptPatch& kept : slot.keptApplied)
                Log(kLogWarning, KeptOnRollbackText(slot.resourceName, kept, slot.upgradeVersion));
        }
    }
}
