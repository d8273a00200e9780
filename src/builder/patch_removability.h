#pragma once

#include "payload/compound_file.h"

// Whether a patch can be removed once applied, as the patch's own
// MsiPatchMetadata table says it.

enum PatchRemovability {
    kRemovabilityUnknown,  // the table, or the string pool it refers to, cannot be read or holds a string twice
    kPatchRemovable,
    kPatchNotRemovable,
};

PatchRemovability ReadPatchRemovability(const CompoundFile& file);
