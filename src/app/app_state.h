#pragma once

#include "app/run_options.h"

#include <string>

// The few process-wide values the modes share. Written in one place each:
// g_options by ParseCommandLine, MessageProductName and RestartRequest by
// the install decision.
extern RunOptions g_options;
extern std::wstring MessageProductName;
// 3010 once an installer call of this run asked for a restart, 1641 once
// one started it; 0 otherwise.
extern unsigned RestartRequest;
