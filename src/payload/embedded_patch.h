#pragma once

#include "payload/patch_slots.h"

#include <string>

// The bytes of the slot's patch, from the executable's resources; false
// when the slot holds none (the resource is absent or empty). Tests link a
// scripted set of patches instead.
bool FindEmbeddedPatch(const std::wstring& resourceName, PatchBytes& patch);
