#include "app/uninstall_run_win.h"

#include "app/exit_code.h"
#include "app/install_run.h"
#include "app/install_run_win.h"
#include "app/uninstall_run.h"
#include "app/whatif_win.h"
#include "install/cache_repair_win.h"
#include "install/configure_win.h"
#include "install/decision_win.h"
#include "install/failure_hints.h"
#include "install/failure_hints_win.h"
#include "install/installed_targets_win.h"
#include "install/installer_result.h"
#include "install/msi_api.h"
#include "install/patch_removal.h"
#include "install/patch_removal_win.h"
#include "payload/embedded_patch.h"
#include "payload/summary_win.h"
#include "shared/process_state.h"
#include "shared/run_log_win.h"

#include <windows.h>

#include <algorithm>

namespace {

// One of this wrapper's patches on a product, as one removing call takes it.
struct PatchOnProduct {
    const SlotRecord* slot;
    ProductRecord* product;
};

// The first failure, for the box and the exit code: where, and its code.
struct FirstFailure {
    std::wstring at;
    unsigned code = 0;
};

std::wstring ProductLabel(const std::wstring& slot, const ProductRecord& product)
{
    return slot + L": product " + product.productCode;
}

// The box names the first failure's product by its name where it has one.
void NoteFailure(FirstFailure& failure, const ProductRecord& product, unsigned code)
{
    if (failure.code == 0)
        failure = {product.productName.empty() ? product.productCode : product.productName, code};
}

// A patch a call left present is an error; one left absent against the
// installer's failing answer a warning.
LogType LogTypeAfterCall(const ProductRecord& product)
{
    switch (product.removal.verdict) {
    case kRemovalRemoved:
        return kLogInfo;
    case kRemovalNotApplied:
        return product.installerResult == kMsiUnknownPatch ? kLogInfo : kLogWarning;
    default:
        return kLogError;
    }
}

// Reads one slot's patch, if it holds one, and where the installer holds it.
void FindSlotRemovals(int slotNumber, RunRecord& run, FirstFailure& failure, bool planned)
{
    const std::wstring logPrefix = planned ? L"What if: " : L"";
    const std::wstring resourceName = PatchResourceName(slotNumber);
    SlotDecision decision;
    if (!FindEmbeddedPatch(resourceName, decision.patch))
        return;
    if (!ReadEmbeddedTargeting(decision.patch, decision.targeting)) {
        const unsigned error = GetLastError();
        Log(kLogError, logPrefix + resourceName + L": the patch's targeting data cannot be read, error " +
                           std::to_wstring(error));
        run.slots.push_back(RecordOfSlot(slotNumber, Failed, decision));
        if (failure.code == 0)
            failure = {resourceName, error};
        return;
    }
    FindInstalledTargets(decision.targeting, decision.records);
    for (const auto& record : decision.records)
        record->removal.verdict = kRemovalNotApplied;
    run.slots.push_back(RecordOfSlot(slotNumber, kNoOutcome, decision));
    SlotRecord& slot = run.slots.back();
    Log(kLogInfo, logPrefix + resourceName + L": patch " + slot.patchCode + L"; products " +
                      decision.targeting.products);
    for (ProductRecord& product : slot.products) {
        PatchRemovalRecord& removal = product.removal;
        if (removal.verdict == kRemovalNotInstalled && InstalledForAnotherUserOnly(product.productCode))
            removal.verdict = kRemovalNotReachable;
        // A patch without a code is one the installer cannot have registered.
        if (removal.verdict == kRemovalNotApplied && !slot.patchCode.empty()) {
            ReadPatchRegistration(slot.patchCode, product.productCode, removal);
            if (IsPatchPresent(removal.stateBefore))
                removal.verdict = kRemovalDue;
            // What the run looks up before its call, a plan reports: a
            // removal needs the cached packages as an installation does.
            if (planned && removal.verdict == kRemovalDue) {
                PutBackMissingCopies(product, true);
                LookUpFailureHints(product, 0);
            }
            if (!removal.uninstallable.empty())
                Log(kLogInfo, logPrefix + ProductLabel(resourceName, product) + L": registered Uninstallable " +
                                  removal.uninstallable);
        }
        Log(removal.verdict == kRemovalNotReachable ? kLogWarning : kLogInfo,
            logPrefix + ProductLabel(resourceName, product) + L" " + RemovalVerdictText(product, planned));
        for (const FailureHint& hint : product.hints)
            Log(kLogWarning, logPrefix + ProductLabel(resourceName, product) + L": " + FailureHintText(hint));
    }
    slot.outcome = RemovalOutcomeOf(slot.products);
}

// Every present patch of this wrapper on `productCode`, slot 15 down to 1,
// its state read again just before the call: an earlier call may have
// changed it, as removing a later patch can make an earlier one applied
// again.
std::vector<PatchOnProduct> PatchesOnProduct(RunRecord& run, const std::wstring& productCode)
{
    std::vector<PatchOnProduct> patches;
    for (SlotRecord& slot : run.slots) {
        for (ProductRecord& product : slot.products) {
            PatchRemovalRecord& removal = product.removal;
            const bool installed = removal.verdict == kRemovalDue || removal.verdict == kRemovalNotApplied;
            if (product.productCode != productCode || !installed || slot.patchCode.empty())
                continue;
            const RemovalVerdict before = removal.verdict;
            ReadPatchRegistration(slot.patchCode, productCode, removal);
            removal.verdict = IsPatchPresent(removal.stateBefore) ? kRemovalDue : kRemovalNotApplied;
            if (removal.verdict == kRemovalDue)
                patches.push_back({&slot, &product});
            if (removal.verdict != before)
                Log(kLogInfo, ProductLabel(slot.resourceName, product) + L": read again before the call, " +
                                  RemovalVerdictText(product, false));
        }
    }
    return patches;
}

// One installer call removes every patch of this wrapper the product holds:
// one transaction, at most one restart. Returns the call's code for the
// exit code (see RemovalCallCode).
unsigned RemoveFromProduct(RunRecord& run, const std::wstring& productCode, FirstFailure& failure)
{
    const std::vector<PatchOnProduct> patches = PatchesOnProduct(run, productCode);
    if (patches.empty())
        return 0;
    std::wstring codes, slots;
    for (const PatchOnProduct& patch : patches) {
        codes += (codes.empty() ? L"" : L";") + patch.slot->patchCode;
        slots += (slots.empty() ? L"" : L", ") + patch.slot->resourceName;
    }
    ProductRecord call = *patches.front().product;
    const unsigned answer = call.installerResult = ConfigurePatch(slots, call, kCallUninstall, codes, 0);
    const std::wstring versionAfter = GetInstalledVersion(productCode);
    bool leftPresent = false;
    for (const PatchOnProduct& patch : patches) {
        ProductRecord& product = *patch.product;
        PatchRemovalRecord removal = product.removal;
        removal.stateAfter = ReadPatchState(patch.slot->patchCode, productCode, removal.context);
        removal.stateAfterRead = true;
        removal.verdict = VerdictAfterRemoval(answer, removal.stateAfter);
        product = call;
        product.removal = removal;
        product.versionAfter = versionAfter;
        leftPresent = leftPresent || IsPatchPresent(removal.stateAfter);
        Log(LogTypeAfterCall(product),
            ProductLabel(patch.slot->resourceName, product) + L": patch " + patch.slot->patchCode + L" " +
                RemovalVerdictText(product, false) + L"; state afterwards " + PatchStateName(removal.stateAfter));
    }
    const unsigned code = RemovalCallCode(answer, leftPresent);
    if (IsInstallSuccess(answer))
        RestartRequest = StrongerRestart(RestartRequest, answer);
    if (!IsInstallSuccess(code))
        NoteFailure(failure, call, code);
    return code;
}

// After the calls every patch that no call left present is read once more:
// a call on one product may make one of ours present on another, or on its
// own product again. Returns whether any is present now (due again).
bool ReadAgainAfterCalls(RunRecord& run)
{
    bool due = false;
    for (SlotRecord& slot : run.slots) {
        for (ProductRecord& product : slot.products) {
            const RemovalVerdict verdict = product.removal.verdict;
            if ((verdict != kRemovalNotApplied && verdict != kRemovalRemoved) || slot.patchCode.empty())
                continue;
            // Read aside: a patch still absent keeps what was read of it before.
            PatchRemovalRecord now = product.removal;
            ReadPatchRegistration(slot.patchCode, product.productCode, now);
            if (!IsPatchPresent(now.stateBefore))
                continue;
            now.verdict = kRemovalDue;
            product.removal = now;
            due = true;
            Log(kLogWarning, ProductLabel(slot.resourceName, product) + L": read again after the calls, " +
                                 RemovalVerdictText(product, false));
        }
    }
    return due;
}

// What is present after the last round is not removed: another round might
// only bring it back again.
void ReportPresentAfterLastRound(RunRecord& run, size_t rounds, FirstFailure& failure,
                                 std::vector<unsigned>& callCodes)
{
    for (SlotRecord& slot : run.slots) {
        for (ProductRecord& product : slot.products) {
            PatchRemovalRecord& removal = product.removal;
            if (removal.verdict != kRemovalDue)
                continue;
            removal.verdict = kRemovalNotRemoved;
            removal.stateAfter = removal.stateBefore;
            removal.stateAfterRead = true;
            Log(kLogError, ProductLabel(slot.resourceName, product) + L": patch " + slot.patchCode +
                               L" not removed: " + PatchStateName(removal.stateAfter) + L" again after " +
                               std::to_wstring(rounds) + L" rounds of removals, the first and one per slot");
            callCodes.push_back(kMsiInstallFailure);
            NoteFailure(failure, product, kMsiInstallFailure);
        }
    }
}

// The products to call, in the order the slots (15 down to 1) first name
// them with a present patch.
std::vector<std::wstring> ProductsToCall(const RunRecord& run)
{
    std::vector<std::wstring> products;
    for (const SlotRecord& slot : run.slots) {
        for (const ProductRecord& product : slot.products) {
            if (product.removal.verdict == kRemovalDue &&
                std::find(products.begin(), products.end(), product.productCode) == products.end())
                products.push_back(product.productCode);
        }
    }
    return products;
}

unsigned ShowUninstallPlan(RunRecord& run, unsigned readError)
{
    run.exitCode = WhatIfUninstallExitCode(readError, run.overall);
    Log(OutcomeLogType(run.overall), std::wstring(L"What if: the outcome of /uninstall would be ") +
                                         OutcomeName(run.overall));
    ShowPlan(FormatUninstallPlan(run, OutcomeName(run.overall)), run.exitCode);
    return run.exitCode;
}

} // namespace

unsigned RunUninstall(RunRecord& run, bool planOnly)
{
    Log(kLogInfo, planOnly ? L"What if: /uninstall's reading, changing nothing"
                           : L"Removing this wrapper's patches, slot 15 down to slot 1");
    FirstFailure failure;
    for (int slotNumber = kPatchSlotCount; slotNumber >= 1; --slotNumber)
        FindSlotRemovals(slotNumber, run, failure, planOnly);
    if (planOnly) {
        run.overall = UninstallOutcome(run);
        return ShowUninstallPlan(run, failure.code);
    }

    std::vector<unsigned> callCodes;
    if (failure.code != 0)
        callCodes.push_back(failure.code);
    // A chain of patches can come back one slot at a time: one further round per slot.
    const size_t furtherRounds = run.slots.size();
    for (size_t round = 0;; ++round) {
        for (const std::wstring& productCode : ProductsToCall(run))
            callCodes.push_back(RemoveFromProduct(run, productCode, failure));
        if (!ReadAgainAfterCalls(run))
            break;
        if (round == furtherRounds) {
            ReportPresentAfterLastRound(run, round + 1, failure, callCodes);
            break;
        }
    }
    for (SlotRecord& slot : run.slots) {
        if (slot.outcome != Failed)
            slot.outcome = RemovalOutcomeOf(slot.products);
    }
    run.overall = UninstallOutcome(run);
    run.exitCode = run.overall == NoPatch ? kMsiInstallFailure : UninstallExitCode(callCodes);
    Log(OutcomeLogType(run.overall), std::wstring(L"The outcome of /uninstall: ") + OutcomeName(run.overall));
    if (run.overall == NoPatch) {
        Log(kLogError, L"The wrapper carries no patch");
        if (!Options.quiet)
            ShowMissingPatchNotice();
    } else {
        const OutcomeMessage message = UninstallOutcomeMessage(run, failure.at, failure.code);
        ShowRunOutcome(message.messageId, message.values);
    }
    Log(ExitCodeLogType(run.exitCode), ExitCodeRecord(run.exitCode, Options.deploymentExitCode));
    return run.exitCode;
}
