#pragma once

#include "shared/run_options.h"

#include <cstdint>
#include <string>

// The few process-wide values every layer may read. Written in one place
// each: Options by ParseCommandLine, the others by the install decision.
extern RunOptions Options;
extern std::wstring MessageProductName;
// 3010 once an installer call of this run asked for a restart, 1641 once
// one started it; 0 otherwise.
extern unsigned RestartRequest;
// The code of this run's first failed installer call; 0 while none failed.
extern unsigned FirstInstallerFailure;
// True once the run found a product at a version its patch does not serve,
// or an installer call that answered success left one below the upgrade
// version.
extern bool ProductLeftBehind;
// Milliseconds this run has waited for a busy installer, out of the budget
// Options.waitMinutes gives all its waits together.
extern std::uint64_t InstallerWaitSpent;
