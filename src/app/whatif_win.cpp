#include "app/whatif_win.h"

#include "app/exit_code.h"
#include "app/install_run.h"
#include "app/install_run_win.h"
#include "install/cache_repair_win.h"
#include "install/decision_win.h"
#include "install/failure_hints.h"
#include "install/failure_hints_win.h"
#include "messages/message_box_win.h"
#include "messages/outcome_box.h"
#include "shared/process_state.h"
#include "shared/run_log_win.h"

#include <windows.h>

namespace {

// Rollback reads the versions afresh: every installed product of a slot
// this run patched that then stands exactly at the slot's upgrade version.
void PlanRollback(RunRecord& plan, const PlannedVersions& planned)
{
    for (SlotRecord& slot : plan.slots) {
        if (slot.outcome != Installed)
            continue;
        for (const ProductRecord& product : slot.products) {
            const auto later = planned.find(product.productCode);
            const std::wstring version = later != planned.end() ? later->second.version : product.installedVersion;
            if (product.verdict == kVerdictNotInstalled)
                continue;
            if (RemovedOnRollback(version, slot.upgradeVersion))
                slot.removedAgain.push_back({product.productCode, 0});
            else
                slot.keptApplied.push_back({product.productCode, version});
        }
    }
}

} // namespace

RunRecord PlanInstall()
{
    RunRecord plan;
    PlannedVersions planned;
    unsigned readError = 0;
    bool leftBehind = false;
    bool patchDue = false;
    for (int slotNumber = 1; slotNumber <= kPatchSlotCount; ++slotNumber) {
        const std::wstring resourceName = PatchResourceName(slotNumber);
        SlotDecision decision;
        const PatchOutcome decided = DecideSlot(resourceName, planned, decision);
        if (decided == Failed)
            readError = GetLastError();
        for (const auto& record : decision.records) {
            if (record->verdict != kVerdictApply)
                continue;
            PutBackMissingCopies(*record, true);
            LookUpFailureHints(*record, decision.patch.size);
        }
        if (decided != NoPatch) {
            const PatchOutcome outcome = decided == kNoOutcome ? PatchOutcomeOf(decision.records) : decided;
            plan.slots.push_back(RecordOfSlot(slotNumber, outcome, decision));
            const SlotRecord& slot = plan.slots.back();
            for (const ProductRecord& product : slot.products) {
                Log(kLogInfo, L"What if: " + resourceName + L": product " + product.productCode + L" " +
                                  PlanVerdictText(product));
                for (const FailureHint& hint : product.hints)
                    Log(kLogWarning, L"What if: " + resourceName + L": product " + product.productCode + L": " +
                                         FailureHintText(hint));
                leftBehind = leftBehind || product.verdict == kVerdictWrongVersion;
                if (product.verdict == kVerdictApply) {
                    patchDue = true;
                    planned[product.productCode] = PlannedVersion{slot.upgradeVersion, slotNumber};
                }
            }
        }
        if (FoldOutcome(plan.overall, decided == NoPatch ? NoPatch : plan.slots.back().outcome)) {
            plan.stopped = true;
            break;
        }
    }
    if (RunNeedsRollback(plan.overall))
        PlanRollback(plan, planned);
    plan.exitCode = WhatIfExitCode(DeploymentExitCode(plan.overall, readError, 0, 0, leftBehind), patchDue);
    return plan;
}

unsigned RunWhatIf(RunRecord& plan)
{
    Log(kLogInfo, L"What if: the install run's decisions, changing nothing; a product an earlier slot would "
                  L"patch is taken to be at that patch's upgrade version");
    plan = PlanInstall();
    if (plan.stopped)
        Log(kLogWarning, L"What if: the run would stop at " + plan.slots.back().resourceName);
    for (const SlotRecord& slot : plan.slots) {
        for (const Removal& removal : slot.removedAgain)
            Log(kLogWarning, L"What if: " + slot.resourceName + L" would be removed again from product " +
                                 removal.productCode);
        for (const KeptPatch& kept : slot.keptApplied)
            Log(kLogWarning, L"What if: " + KeptOnRollbackText(slot.resourceName, kept, slot.upgradeVersion));
    }
    Log(OutcomeLogType(plan.overall), std::wstring(L"What if: the run's outcome would be ") + OutcomeName(plan.overall));
    ShowPlan(FormatRunPlan(plan, OutcomeName(plan.overall)), plan.exitCode);
    return plan.exitCode;
}

void ShowPlan(const std::wstring& text, unsigned exitCode)
{
    // Unlike /i, the plan honours /q: a check run is unattended by nature.
    Log(kLogInfo, std::wstring(L"The plan is ") + (Options.quiet ? L"not shown (/q)" : L"shown"));
    if (!Options.quiet)
        ShowMessageBox(text, L"What if", kBoxInformation);
    Log(WhatIfExitCodeLogType(exitCode), ExitCodeRecord(exitCode, Options.deploymentExitCode));
}
