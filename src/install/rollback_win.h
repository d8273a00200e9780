#pragma once

#include <string>

// Removes one embedded patch from every target product that now stands
// exactly at the patch's upgrade version. Reports nothing.
void RollBackPatch(const std::wstring& resourceName);
