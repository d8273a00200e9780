#pragma once

#include "builder/patch_plan.h"

#include <cstdint>
#include <string>
#include <vector>

// Patch files as ./build-wrapper's checks see them on the build machine,
// in standard C++ (file names in UTF-8, see shared/utf8_text.h).

// The facts of the file named `file`; `output` is the wrapper's file name,
// which need not exist.
PatchFileFacts LookAtPatchFile(const std::wstring& file, const std::wstring& output);

// The whole file; false when it cannot be read.
bool ReadPatchFile(const std::wstring& file, std::vector<std::uint8_t>& bytes);
