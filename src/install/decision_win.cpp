#include "install/decision_win.h"

#include "install/configure_win.h"
#include "install/decision.h"
#include "install/installed_targets_win.h"
#include "install/installer_result.h"
#include "payload/extract_win.h"
#include "payload/temp_folder_win.h"
#include "shared/process_state.h"

#include <windows.h>

PatchOutcome ProcessPatch(const std::wstring& resourceName, bool updateMessageName)
{
    const std::wstring patchPath = MakeTempPatchPath();
    if (!ExtractPatch(patchPath, resourceName, 0)) {
        if (!HasEmbeddedPatch(resourceName))
            return NoPatch;
        // The wrapper carries this patch but cannot copy it out (no usable
        // temporary folder): a failure of the run, not a wrapper without
        // patches, whose notice would also stop an unattended run.
        if (GetLastError() == ERROR_SUCCESS)
            SetLastError(ERROR_CANNOT_MAKE);
        return Failed;
    }

    ProductRecords records;
    if (FindInstalledTargets(patchPath, records) == kTargetsFailed) {
        DeleteFileW(patchPath.c_str());
        return Failed;
    }
    if (records.empty()) {
        DeleteFileW(patchPath.c_str());
        return NoProduct;
    }

    size_t upToDate = 0;
    PatchOutcome running = Failed;
    // Every product gets its own verdict; the last one that sets the running
    // result decides, and an installer error sets nothing.
    for (const auto& record : records) {
        if (updateMessageName)
            MessageProductName = record->productName;
        switch (DecideProduct(record->installedVersion, record->upgradeVersion, record->targetVersions)) {
        case kVerdictUpToDate:
            ++upToDate;
            break;
        case kVerdictWrongVersion:
            running = WrongVersion;
            break;
        case kVerdictApply: {
            const unsigned result = ConfigurePatch(*record, patchPath, false);
            if (IsInstallSuccess(result)) {
                running = Installed;
                RestartRequest = StrongerRestart(RestartRequest, result);
            } else {
                SetLastError(result);
            }
            break;
        }
        }
    }
    DeleteFileW(patchPath.c_str());
    return upToDate == records.size() ? UpToDate : running;
}
