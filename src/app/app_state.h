#pragma once

#include "app/run_options.h"

#include <string>

// The few process-wide values the modes share. Written in one place each:
// g_options by ParseCommandLine, MessageProductName by the install decision.
extern RunOptions g_options;
extern std::wstring MessageProductName;
