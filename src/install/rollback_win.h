#pragma once

#include "install/product_record.h"

#include <string>
#include <vector>

// Removes one embedded patch from every target product that now stands
// exactly at the patch's upgrade version; gives each removing call made.
std::vector<Removal> RollBackPatch(const std::wstring& resourceName);
