#pragma once

#include "install/msi_api.h"

#include <string>

// Opens the summary information of a patch file; 0 when it cannot be opened.
MsiHandle OpenPatchSummary(std::wstring path);

// Reads the Keywords value and splits it (see SplitKeywords). On a value
// without a usable semicolon the thread's last-error value becomes 4316.
// The out-values change only on success.
bool ReadPatchVersions(std::wstring path, std::wstring& upgradeVersion, std::wstring& targetVersions);

// Reads the Template value whole, even when empty.
bool ReadPatchProducts(std::wstring path, std::wstring& products);
