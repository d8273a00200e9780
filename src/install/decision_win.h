#pragma once

#include "install/patch_outcome.h"

#include <string>

// Offers one embedded patch to every installed target product and sums it
// up. With updateMessageName, MessageProductName follows each product
// examined; after an installer error the last-error value is its code.
PatchOutcome ProcessPatch(const std::wstring& resourceName, bool updateMessageName);
