#pragma once

#include <string>

// Path limits of the extraction name rebuild, in characters including the terminator.
constexpr size_t kMaxPathChars = 260;
constexpr size_t kMaxNamePartChars = 256;

// Builds the file name that slot `index` is extracted to from the path the
// user gave: the slot number is appended to the file-name stem and the
// extension is kept (D:\out\fix.msp, 3 -> D:\out\fix3.msp). Index 0 keeps
// the stem. False, with `rebuilt` untouched, when the given path, its stem
// or extension, or the result does not fit the path limits.
bool RebuildExtractPath(const std::wstring& path, int index, std::wstring& rebuilt);
