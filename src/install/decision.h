#pragma once

#include <string>

enum ProductVerdict : int {
    kVerdictUpToDate,      // at or above the patch's upgrade version
    kVerdictWrongVersion,  // below it, and not a version the patch applies to
    kVerdictApply,         // below it, and one of the patch's target versions
};

// Whether a patch is due for one installed product. A target version
// matches on major, minor and build; the revision is not compared.
ProductVerdict DecideProduct(const std::wstring& installedVersion, const std::wstring& upgradeVersion,
                             const std::wstring& targetVersions);
