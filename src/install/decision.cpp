#include "install/decision.h"

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
