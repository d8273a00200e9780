#include "install/decision.h"

#include "install/version.h"

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

    // Every entry is followed by a comma, the last one included.
    const std::wstring scan = targetVersions + L',';
    size_t start = 0;
    for (size_t comma = scan.find(L','); comma != std::wstring::npos; comma = scan.find(L',', start)) {
        if (SameRelease(ParseVersion(scan.substr(start, comma - start)), installed))
            return kVerdictApply;
        start = comma + 1;
    }
    return kVerdictWrongVersion;
}
