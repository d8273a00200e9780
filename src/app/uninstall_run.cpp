#include "app/uninstall_run.h"

#include "diagnostics/report.h"
#include "install/msi_api.h"
#include "install/patch_removal.h"
#include "messages.h"
#include "messages/outcome_box.h"

#include <set>

PatchOutcome RemovalOutcomeOf(const std::vector<ProductRecord>& products)
{
    PatchOutcome outcome = NothingToRemove;
    for (const ProductRecord& product : products) {
        const RemovalVerdict verdict = product.removal.verdict;
        if (verdict == kRemovalFailed || verdict == kRemovalNotRemoved)
            return Failed;
        if (verdict == kRemovalRemoved || verdict == kRemovalDue)
            outcome = Removed;
    }
    return outcome;
}

PatchOutcome UninstallOutcome(const RunRecord& run)
{
    PatchOutcome overall = run.slots.empty() ? NoPatch : NothingToRemove;
    for (const SlotRecord& slot : run.slots) {
        if (slot.outcome == Failed)
            return Failed;
        if (slot.outcome == Removed)
            overall = Removed;
    }
    return overall;
}

unsigned RemovedProductCount(const RunRecord& run)
{
    std::set<std::wstring> products;
    for (const SlotRecord& slot : run.slots) {
        for (const ProductRecord& product : slot.products) {
            if (product.removal.verdict == kRemovalRemoved)
                products.insert(product.productCode);
        }
    }
    return static_cast<unsigned>(products.size());
}

std::wstring RemovalVerdictText(const ProductRecord& product, bool planned)
{
    const PatchRemovalRecord& removal = product.removal;
    const std::wstring where =
        PatchStateName(removal.stateBefore) + L", " + InstallContextName(removal.context) + L" context";
    switch (removal.verdict) {
    case kRemovalNotReachable:
        return L"installed for another user only: this account cannot remove its patches";
    case kRemovalNotApplied:
        // After a call the state read decides, whatever the installer answered.
        if (removal.stateAfterRead && product.installerResult != kMsiUnknownPatch)
            return L"not applied: absent afterwards, although the installer answered " +
                   RemovalAnswerText(product.installerResult);
        return L"not applied" + (removal.stateBefore == 0 ? L"" : L" (" + where + L")");
    case kRemovalDue:
        return (planned ? L"would be removed (" : L"to be removed (") + where + L")" +
               (removal.uninstallable == L"0" ? L"; the installer registers it as not removable" : L"");
    case kRemovalRemoved:
        return L"removed (" + where + L" before)";
    case kRemovalNotRemoved:
        return L"not removed: the installer answered " + std::to_wstring(product.installerResult) +
               L", yet the patch is still " + PatchStateName(removal.stateAfter);
    case kRemovalFailed:
        return L"not removed: " + RemovalAnswerText(product.installerResult);
    default:
        return L"not installed";
    }
}

std::wstring FormatUninstallPlan(const RunRecord& plan, const wchar_t* outcomeName)
{
    std::wstring text = L"What /uninstall would do; nothing was changed.\n\n";
    for (const SlotRecord& slot : plan.slots) {
        std::wstring block = L"Patch code:\n\t" + slot.patchCode + L"\nProducts:";
        for (const ProductRecord& product : slot.products)
            block += PlanProductLines(product, RemovalVerdictText(product, true));
        AppendReportBlock(text, slot.resourceName, block);
    }
    return text + PlanClosingLines(plan, outcomeName);
}

unsigned WhatIfUninstallExitCode(unsigned readError, PatchOutcome overall)
{
    if (readError != 0)
        return readError;
    if (overall == NoPatch)
        return kMsiInstallFailure;
    return overall == Removed ? 1 : 0;
}

OutcomeMessage UninstallOutcomeMessage(const RunRecord& run, const std::wstring& failedAt, unsigned failedCode)
{
    switch (run.overall) {
    case Removed:
        return {IDS_UNINSTALL_SUCCEEDED, {std::to_wstring(RemovedProductCount(run))}};
    case Failed:
        if (failedCode == kMsiPatchRemovalUnsupported)
            return {IDS_UNINSTALL_IMPOSSIBLE, {failedAt}};
        return {IDS_UNINSTALL_FAILED, {failedAt, FormatErrorCode(failedCode)}};
    default:
        return {IDS_UNINSTALL_NOTHING, {}};
    }
}
