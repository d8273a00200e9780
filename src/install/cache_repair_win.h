#pragma once

#include "install/product_record.h"

// Before an installer call on the record's product: every patch this
// wrapper carries that the installer registers on the product in a present
// state (applied, superseded or obsoleted) and whose cached copy, the
// registered "LocalPackage", is missing, is put back from the wrapper's
// own bytes; with `planOnly` it is only checked and nothing is written.
// Each is recorded in record.putBacks, in place of earlier ones, and
// logged (a plan's lines begin "What if: "). Never fails the run.
void PutBackMissingCopies(ProductRecord& record, bool planOnly);
