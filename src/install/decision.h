#pragma once

#include "install/patch_outcome.h"

#include <memory>
#include <string>
#include <vector>

enum ProductVerdict : int {
    kVerdictUpToDate,      // at or above the patch's upgrade version
    kVerdictWrongVersion,  // below it, and not a version the patch applies to
    kVerdictApply,         // below it, and one of the patch's target versions
    kVerdictNotInstalled,  // a target product the installer does not have
};

// Whether a patch is due for one installed product. A target version
// matches on major, minor and build; the revision is not compared.
ProductVerdict DecideProduct(const std::wstring& installedVersion, const std::wstring& upgradeVersion,
                             const std::wstring& targetVersions);

struct ProductRecord;
struct KeptPatch;

// The outcome of one patch over its installed target products, in their
// order, from each one's verdict and installer result.
PatchOutcome PatchOutcomeOf(const std::vector<std::unique_ptr<ProductRecord>>& records);

// Whether removing a patch again touches a product now at `version`: only
// one exactly at the patch's upgrade version.
bool RemovedOnRollback(const std::wstring& version, const std::wstring& upgradeVersion);
// Why a rollback leaves a patch on a product, as the receipt gives it:
// "stands at 3.2.50.0, not at this patch's 3.2.40.0".
std::wstring KeptReasonText(const KeptPatch& kept, const std::wstring& upgradeVersion);
// Why a rollback leaves `slot`'s patch on a product, for the log: "IDR_MSP_1:
// the patch stays on product {...}: it stands at 3.2.50.0, not at this
// patch's 3.2.40.0".
std::wstring KeptOnRollbackText(const std::wstring& slot, const KeptPatch& kept, const std::wstring& upgradeVersion);
