#pragma once

#include "install/version.h"

#include <string>

// What one patch block of the "Info" report shows, as read from the patch
// and the operating system.
struct PatchReportFields {
    std::wstring products;        // the Template value, codes joined by ";"
    std::wstring targetVersions;
    std::wstring upgradeVersion;
    std::wstring osName;
    VersionQuad osVersion;
};

// The patch report of one slot: product codes one per line, target and
// upgrade versions, and the operating system with its version.
std::wstring FormatPatchReport(const PatchReportFields& fields);

// Appends the block of one present slot: its resource name, a line feed,
// its patch report (empty when it could not be read) and the separator.
void AppendReportBlock(std::wstring& report, const std::wstring& resourceName,
                       const std::wstring& patchReport);
