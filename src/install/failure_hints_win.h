#pragma once

#include "install/product_record.h"

#include <cstdint>

// Looks up, read-only, what predicts that an installer call on the
// record's product may fail, and stores it in record.hints in place of
// earlier hints: a missing cached package of the product or of a patch
// applied to it, too little free space for a patch of `patchSize` bytes,
// another installation holding the installer, a pending restart. Never
// fails and never stops anything: what cannot be looked up gives no hint.
void LookUpFailureHints(ProductRecord& record, std::uint64_t patchSize);
