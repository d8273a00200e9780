#include "install/decision_win.h"

#include "install/configure_win.h"
#include "install/decision.h"
#include "install/installed_targets_win.h"
#include "install/installer_result.h"
#include "payload/embedded_patch.h"
#include "payload/summary_win.h"
#include "payload/temp_folder_win.h"
#include "shared/process_state.h"

#include <windows.h>

PatchOutcome ProcessPatch(const std::wstring& resourceName, bool updateMessageName)
{
    PatchBytes patch;
    if (!FindEmbeddedPatch(resourceName, patch))
        return NoPatch;
    // Read from the embedded bytes: a run with nothing to do writes nothing.
    PatchTargeting targeting;
    if (!ReadEmbeddedTargeting(patch, targeting))
        return Failed;

    ProductRecords records;
    FindInstalledTargets(targeting, records);
    if (records.empty())
        return NoProduct;

    TempPatchCopy copy(patch);
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
            // A patch that cannot be copied out fails the run; the last-error
            // value tells why.
            std::wstring patchPath;
            if (!copy.Written(patchPath))
                return Failed;
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
    return upToDate == records.size() ? UpToDate : running;
}
