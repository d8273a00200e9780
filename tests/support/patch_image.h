#pragma once

#include "tools/summary_stream.h"

#include <cstdint>
#include <string>
#include <vector>

// Patches as the wrapper reads them, made in memory for tests: a compound
// file with the installer's patch class and a summary of the given values.
std::vector<std::uint8_t> PatchImage(const std::vector<SummaryValue>& summary);

// The common case: code page 1252, Keywords and Template as given (ASCII),
// and a Revision Number that begins with `patchCode` when one is given.
std::vector<std::uint8_t> PatchImage(const std::wstring& keywords, const std::wstring& templateValue,
                                     const std::wstring& patchCode = L"");
