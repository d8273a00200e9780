#include "install/decision.h"

#include "install/installer_result.h"
#include "install/product_record.h"
#include "install/version.h"
#include "payload/targeting.h"

namespace {

bool SameRelease(const VersionQuad& a, const VersionQuad& b)
{
    return a.major == b.major && a.minor == b.minor && a.build == b.build;
}

} // namespace

ProductVerdict DecideProduct(const std::wstring& installedVersion, const std::wstring& upgradeVersion,
                             const std::wstring& targetVersions)
{
    const VersionQuad installed = ParseVersion(installedVersion);
    if (VersionAtLeast(installed, ParseVersion(upgradeVersion)))
        return kVerdictUpToDate;

    for (const std::wstring& target : SplitTargetVersions(targetVersions)) {
        if (SameRelease(ParseVersion(target), installed))
            return kVerdictApply;
    }
    return kVerdictWrongVersion;
}

PatchOutcome PatchOutcomeOf(const ProductRecords& records)
{
    size_t upToDate = 0;
    PatchOutcome running = Failed;
    // The last product that sets the running result decides, and an
    // installer error sets nothing.
    for (const auto& record : records) {
        if (record->verdict == kVerdictUpToDate)
            ++upToDate;
        else if (record->verdict == kVerdictWrongVersion)
            running = WrongVersion;
        else if (record->verdict == kVerdictApply && IsInstallSuccess(record->installerResult))
            running = Installed;
    }
    return upToDate == records.size() ? UpToDate : running;
}

bool RemovedOnRollback(const std::wstring& version, const std::wstring& upgradeVersion)
{
    return VersionEqual(ParseVersion(version), ParseVersion(upgradeVersion));
}

std::wstring KeptReasonText(const KeptPatch& kept, const std::wstring& upgradeVersion)
{
    return L"stands at " + kept.version + L", not at this patch's " + upgradeVersion;
}

std::wstring KeptOnRollbackText(const std::wstring& slot, const KeptPatch& kept, const std::wstring& upgradeVersion)
{
    return slot + L": the patch stays on product " + kept.productCode + L": it " +
           KeptReasonText(kept, upgradeVersion);
}
