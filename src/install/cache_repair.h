#pragma once

#include "install/product_record.h"

#include <string>
#include <vector>

// The rules and words of putting back a missing cached copy of one of this
// wrapper's patches (see PutBackMissingCopies).

// A full path on a drive split into its names: "C:\Windows\Installer" gives
// "C:", "Windows", "Installer". kPathNotOnDrive for any other form (a
// share, a device or "\\?\" path, a relative one, an empty name, a
// character no file name holds), kPathDotName for a "." or "..".
PutBackProblem SplitDrivePath(const std::wstring& path, std::vector<std::wstring>& names);

// A registered package path as a put-back takes it: the names of its folder
// from the drive on, and its file name, which must end in ".msp".
PutBackProblem SplitPackagePath(const std::wstring& path, std::vector<std::wstring>& folder, std::wstring& file);

// What became of a copy, from the problem met (none: put back, or in a
// plan would be): a broken rule refuses it, a system error fails it.
PutBackAction PutBackActionOf(PutBackProblem problem, bool planOnly);

// The receipt's name: "put-back", "would-put-back", "refused", "failed".
const wchar_t* PutBackActionName(PutBackAction action);

// Why it was not put back, e.g. "not directly inside the installer folder";
// empty where it was, or would be.
std::wstring PutBackReason(const PutBack& putBack);

// The log's and the plan's line: "IDR_MSP_1: the installer's copy of patch
// {...} for product {...} was missing (C:\Windows\Installer\1a2b.msp); put
// back from this wrapper", "... is missing (...); would put back from this
// wrapper", "... is missing (...); not put back: <reason>".
std::wstring PutBackText(const PutBack& putBack, const std::wstring& productCode);

// The hint of a missing patch package goes where a put-back mends it (or a
// plan's would); where none could, the hint stays and says why.
void FoldPutBacksIntoHints(std::vector<FailureHint>& hints, const std::vector<PutBack>& putBacks);
