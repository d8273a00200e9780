#pragma once

#include "install/msi_api.h"
#include "payload/patch_slots.h"
#include "payload/targeting.h"

#include <string>

// Opens the summary information of a patch file; 0 when it cannot be opened.
MsiHandle OpenPatchSummary(std::wstring path);

// Reads the Keywords value and splits it (see SplitKeywords). On a value
// without a usable semicolon the thread's last-error value becomes 4316.
// The out-values change only on success.
bool ReadPatchVersions(std::wstring path, std::wstring& upgradeVersion, std::wstring& targetVersions);

// Reads the Template value whole, even when empty.
bool ReadPatchProducts(std::wstring path, std::wstring& products);

// Reads the targeting data of an embedded patch from its bytes, without a
// file, answering as Wine's installer answers for the same patch on disk:
// 1620 for a damaged file or one without a summary, 1627 for a compound
// file that is no installer package, 4316 for Keywords without a usable
// semicolon (set as the last-error value), which includes a summary whose
// section lies past the stream's end: Wine's installer reads that as a
// summary without values. The out-value changes only on success.
bool ReadEmbeddedTargeting(const PatchBytes& patch, PatchTargeting& targeting);

// What the /i report shows of an embedded patch, read from its bytes as
// ReadPatchProducts and ReadPatchVersions read the patch on disk: false
// when the Template cannot be read; Keywords that cannot be read or split
// leave the versions empty.
bool ReadEmbeddedReportValues(const PatchBytes& patch, std::wstring& products, std::wstring& upgradeVersion,
                              std::wstring& targetVersions);
