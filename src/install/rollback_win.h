#pragma once

#include "install/product_record.h"

#include <string>
#include <vector>

// Removes one embedded patch from every target product that now stands
// exactly at the patch's upgrade version; gives each removing call made,
// and in `kept` every other installed target product, which keeps it.
std::vector<Removal> RollBackPatch(const std::wstring& resourceName, std::vector<KeptPatch>& kept);
