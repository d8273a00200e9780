#pragma once

#include <string>

// Last-error value for a Keywords value without a usable semicolon.
constexpr unsigned kMalformedKeywordsError = 4316;

// Splits a patch's Keywords value "upgrade;targets" at its first semicolon.
// False, with the out-values untouched, when there is none or it comes first.
bool SplitKeywords(const std::wstring& keywords, std::wstring& upgradeVersion,
                   std::wstring& targetVersions);
