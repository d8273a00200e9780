#pragma once

#include "app/run_record.h"

// "/uninstall": removes this wrapper's patches from every installed target
// product that holds them, slot 15 down to slot 1, in one installer call
// per product naming all of them that it holds, and shows one outcome box
// unless /q. With `planOnly` ("/whatif /uninstall") it reads the same and
// changes nothing. Records in `run` what it found and did, and returns the
// code /exitcode gives.
unsigned RunUninstall(RunRecord& run, bool planOnly);
