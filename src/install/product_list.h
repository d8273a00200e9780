#pragma once

#include <string>
#include <vector>

// The product codes of a patch's Template value, in order. The list ends at
// its first empty entry: ";X" gives none, "X;;Y" gives X only, and a
// trailing semicolon is harmless. Codes are kept exactly as written.
std::vector<std::wstring> TemplateProductCodes(const std::wstring& templateValue);
