#pragma once

#include "install/product_record.h"

#include <cstdint>
#include <string>

// Looks up, read-only, what predicts that an installer call on the
// record's product may fail, and stores it in record.hints in place of
// earlier hints: a missing cached package of the product or of a patch
// applied to it, too little free space for a patch of `patchSize` bytes,
// another installation holding the installer, a pending restart. A
// missing patch package that record.putBacks put back (or would) gives no
// hint; one they could not, a hint that says why. Never fails and never
// stops anything: what cannot be looked up gives no hint.
void LookUpFailureHints(ProductRecord& record, std::uint64_t patchSize);

// Whether the installer's cached package `path` is missing.
bool PackageFileMissing(const std::wstring& path);

// The machine's Windows folder, under which the installer keeps its cache;
// empty when the system names none that fits.
std::wstring SystemWindowsFolder();
