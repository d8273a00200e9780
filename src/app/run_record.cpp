#include "app/run_record.h"

#include "diagnostics/report.h"
#include "install/cache_repair.h"
#include "install/failure_hints.h"
#include "install/installer_result.h"
#include "payload/patch_slots.h"

std::wstring PlanVerdictText(const ProductRecord& product)
{
    const std::wstring& version = product.installedVersion;
    const std::wstring source =
        product.versionFromSlot == 0 ? L"" : L" (as " + PatchResourceName(product.versionFromSlot) + L" would leave it)";
    switch (product.verdict) {
    case kVerdictApply:
        return L"would be patched from " + version + source + L" to " + product.upgradeVersion;
    case kVerdictUpToDate:
        return L"up to date at " + version + source;
    case kVerdictWrongVersion:
        return L"version " + version + source + L" not targeted";
    default:
        return L"not installed";
    }
}

std::wstring FormatRunPlan(const RunRecord& plan, const wchar_t* outcomeName)
{
    std::wstring text = L"What the install run would do; nothing was changed.\n\n";
    for (const SlotRecord& slot : plan.slots) {
        std::wstring block = L"Target:\n\t" + slot.targetVersions + L"\nUpgrade:\n\t" + slot.upgradeVersion +
                             L"\nProducts:";
        for (const ProductRecord& product : slot.products)
            block += PlanProductLines(product, PlanVerdictText(product));
        if (!slot.removedAgain.empty())
            block += L"\nRemoved again:";
        for (const Removal& removal : slot.removedAgain)
            block += L"\n\t" + removal.productCode;
        AppendReportBlock(text, slot.resourceName, block);
    }
    return text + PlanClosingLines(plan, outcomeName);
}

std::wstring PlanProductLines(const ProductRecord& product, const std::wstring& verdict)
{
    std::wstring lines = L"\n" + product.productCode + (product.productName.empty() ? L"" : L" " + product.productName) +
                         L"\n\t" + verdict;
    for (const FailureHint& hint : product.hints)
        lines += L"\n\t\t" + FailureHintText(hint);
    for (const PutBack& putBack : product.putBacks)
        lines += L"\n\t\t" + PutBackText(putBack, product.productCode);
    return lines;
}

std::wstring PlanClosingLines(const RunRecord& plan, const wchar_t* outcomeName)
{
    std::wstring text;
    if (plan.slots.empty())
        text += L"The wrapper carries no patch.\n";
    if (plan.stopped)
        text += L"The run would stop at " + plan.slots.back().resourceName + L".\n";
    return text + L"Outcome: " + outcomeName + L"\nExit code with /exitcode: " + std::to_wstring(plan.exitCode);
}

bool RestartNeeded(const RunRecord& run, unsigned restartRequest)
{
    unsigned restart = restartRequest;
    for (const SlotRecord& slot : run.slots) {
        for (const Removal& removal : slot.removedAgain)
            restart = StrongerRestart(restart, removal.installerResult);
    }
    return restart != 0;
}
