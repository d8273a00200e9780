#pragma once

#include <memory>
#include <string>
#include <vector>

// One installed target product of one patch.
struct ProductRecord {
    std::wstring productCode;
    std::wstring upgradeVersion;
    std::wstring productName;
    std::wstring language;
    std::wstring commandLine;  // the property string of the last installer call for it
    std::wstring targetVersions;
    std::wstring installedVersion;
};

using ProductRecords = std::vector<std::unique_ptr<ProductRecord>>;
