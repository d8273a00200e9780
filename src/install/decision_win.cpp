#include "install/decision_win.h"

#include "install/configure_win.h"
#include "install/decision.h"
#include "install/installed_targets_win.h"
#include "install/installer_result.h"
#include "install/version.h"
#include "payload/embedded_patch.h"
#include "payload/summary_win.h"
#include "payload/temp_folder_win.h"
#include "shared/process_state.h"
#include "shared/run_log_win.h"

#include <windows.h>

namespace {

std::wstring Describe(const ProductRecord& record)
{
    return L"product " + record.productCode + L" \"" + record.productName + L"\" (language " + record.language +
           L", installed version " + record.installedVersion + L")";
}

// Logs the verdict on one product with its reason.
void LogVerdict(const std::wstring& slot, const ProductRecord& record)
{
    switch (record.verdict) {
    case kVerdictUpToDate:
        Log(kLogInfo, slot + L": " + Describe(record) + L" is at or above the upgrade version " +
                          record.upgradeVersion + L": nothing to install");
        break;
    case kVerdictWrongVersion:
        Log(kLogWarning, slot + L": " + Describe(record) + L" is below the upgrade version " +
                             record.upgradeVersion + L", and its version is not among the target versions " +
                             record.targetVersions + L": not patched");
        break;
    case kVerdictApply:
        Log(kLogInfo, slot + L": " + Describe(record) + L" is at a target version below the upgrade version " +
                          record.upgradeVersion + L": due");
        break;
    case kVerdictNotInstalled:
        break;  // DecideSlot makes no record of a product the installer does not have
    }
}

// The installer's success is not the product's version: a patch whose
// transforms leave the product below the upgrade version would be applied
// again on every run, and a deployment that detects the update by version
// would find it missing. Such a product counts as left behind.
void CheckVersionAfterInstall(const std::wstring& slot, ProductRecord& record)
{
    const std::wstring& version = record.versionAfter = GetInstalledVersion(record.productCode);
    if (VersionAtLeast(ParseVersion(version), ParseVersion(record.upgradeVersion)))
        return;
    ProductLeftBehind = true;
    Log(kLogWarning, slot + L": product " + record.productCode + L" is at version " + version +
                         L" after the installer's success, below the upgrade version " + record.upgradeVersion);
}

} // namespace

PatchOutcome DecideSlot(const std::wstring& resourceName, const PlannedVersions& planned, SlotDecision& slot)
{
    if (!FindEmbeddedPatch(resourceName, slot.patch)) {
        Log(kLogInfo, resourceName + L": no patch in this slot");
        return NoPatch;
    }
    // Read from the embedded bytes: a run with nothing to do writes nothing.
    const PatchTargeting& targeting = slot.targeting;
    if (!ReadEmbeddedTargeting(slot.patch, slot.targeting)) {
        Log(kLogError, resourceName + L": the patch's targeting data cannot be read, error " +
                           std::to_wstring(GetLastError()));
        return Failed;
    }
    Log(kLogInfo, resourceName + L": products " + targeting.products + L"; target versions " +
                      targeting.targetVersions + L"; upgrade version " + targeting.upgradeVersion);

    FindInstalledTargets(targeting, slot.records);
    if (slot.records.empty()) {
        Log(kLogWarning, resourceName + L": none of the patch's products is installed");
        return NoProduct;
    }
    for (const auto& record : slot.records) {
        const auto earlier = planned.find(record->productCode);
        if (earlier != planned.end()) {
            record->installedVersion = earlier->second.version;
            record->versionFromSlot = earlier->second.slot;
        }
        record->verdict = DecideProduct(record->installedVersion, record->upgradeVersion, record->targetVersions);
    }
    return kNoOutcome;
}

PatchOutcome ProcessPatch(const std::wstring& resourceName, bool updateMessageName, SlotDecision& slot)
{
    const PatchOutcome decided = DecideSlot(resourceName, PlannedVersions(), slot);
    if (decided != kNoOutcome)
        return decided;

    TempPatchCopy copy(slot.patch);
    for (const auto& record : slot.records) {
        if (updateMessageName)
            MessageProductName = record->productName;
        LogVerdict(resourceName, *record);
        if (record->verdict == kVerdictWrongVersion)
            ProductLeftBehind = true;
        if (record->verdict != kVerdictApply)
            continue;
        // A patch that cannot be copied out fails the run; the last-error
        // value tells why.
        std::wstring patchPath;
        if (!copy.EnsureWritten(patchPath)) {
            Log(kLogError, resourceName + L": the patch cannot be copied for the installer, error " +
                               std::to_wstring(GetLastError()));
            return Failed;
        }
        record->installerResult = ConfigurePatch(resourceName, *record, kCallInstall, patchPath, slot.patch.size);
        if (IsInstallSuccess(record->installerResult)) {
            RestartRequest = StrongerRestart(RestartRequest, record->installerResult);
            CheckVersionAfterInstall(resourceName, *record);
        } else {
            if (FirstInstallerFailure == 0)
                FirstInstallerFailure = record->installerResult;
            SetLastError(record->installerResult);
        }
    }
    return PatchOutcomeOf(slot.records);
}
