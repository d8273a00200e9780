#pragma once

#include <string>
#include <vector>

// A patch names what it applies to in two summary values: Keywords
// "upgradeVersion;target1,target2,..." and Template, the product codes
// joined by ";".

// What a patch names as its targets, as read from its summary.
struct PatchTargeting {
    std::wstring upgradeVersion;
    std::wstring targetVersions;
    std::wstring products;  // the Template value, codes joined by ";"
    std::wstring patchCode;  // empty when the patch names none
};

// Last-error value for a Keywords value without a usable semicolon.
constexpr unsigned kMalformedKeywordsError = 4316;

// Splits a patch's Keywords value "upgrade;targets" at its first semicolon.
// False, with the out-values untouched, when there is none or it comes first.
bool SplitKeywords(const std::wstring& keywords, std::wstring& upgradeVersion,
                   std::wstring& targetVersions);

// The target versions of a Keywords value's second half, split at every
// comma: "a,,b" gives a, an empty entry and b; "" gives one empty entry.
std::vector<std::wstring> SplitTargetVersions(const std::wstring& targetVersions);

// The product codes of a patch's Template value, in order. The list ends at
// its first empty entry: ";X" gives none, "X;;Y" gives X only, and a
// trailing semicolon is harmless. Codes are kept exactly as written.
std::vector<std::wstring> TemplateProductCodes(const std::wstring& templateValue);
