#pragma once

#include "install/decision.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

// One target product of one patch: what the decision read and decided, and
// what the install run then did. A plain record, so that a plan and a run
// can report it alike.
struct ProductRecord {
    std::wstring productCode;
    std::wstring upgradeVersion;
    std::wstring productName;
    std::wstring language;
    std::wstring commandLine;  // the property string of the last installer call for it
    std::wstring targetVersions;
    std::wstring installedVersion;
    // 0 when installedVersion is the installer's; otherwise the earlier slot
    // whose patch a plan takes to have brought the product there.
    int versionFromSlot = 0;
    ProductVerdict verdict = kVerdictNotInstalled;
    // The installing call's answer; a plan leaves 0, as if every call succeeded.
    unsigned installerResult = 0;
};

using ProductRecords = std::vector<std::unique_ptr<ProductRecord>>;

// The version a plan takes a product to be at after an earlier slot's patch.
struct PlannedVersion {
    std::wstring version;
    int slot = 0;
};
using PlannedVersions = std::map<std::wstring, PlannedVersion>;  // by product code
