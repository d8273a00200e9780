#include "install/rollback_win.h"

#include "install/configure_win.h"
#include "install/decision.h"
#include "install/installed_targets_win.h"
#include "payload/embedded_patch.h"
#include "payload/summary_win.h"
#include "payload/temp_folder_win.h"

std::vector<Removal> RollBackPatch(const std::wstring& resourceName, std::vector<KeptPatch>& kept)
{
    std::vector<Removal> removals;
    PatchBytes patch;
    PatchTargeting targeting;
    if (!FindEmbeddedPatch(resourceName, patch) || !ReadEmbeddedTargeting(patch, targeting))
        return removals;

    // Versions are read afresh, so they show what this run installed. The
    // copy made for the installation is gone; the removal needs its own.
    ProductRecords records;
    FindInstalledTargets(targeting, records);
    TempPatchCopy copy(patch);
    std::wstring patchPath;
    for (const auto& record : records) {
        if (!RemovedOnRollback(record->installedVersion, record->upgradeVersion))
            kept.push_back({record->productCode, record->installedVersion});
        else if (copy.EnsureWritten(patchPath))
            removals.push_back(
                {record->productCode, ConfigurePatch(resourceName, *record, kCallRollback, patchPath, patch.size)});
    }
    return removals;
}
