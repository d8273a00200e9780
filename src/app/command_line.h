#pragma once

#include "shared/run_options.h"

#include <string>
#include <vector>

// Applies an argument vector (element 0 is the program) to `options`.
// `infoMode` is deliberately left as it was unless "/i" or "/pi" says otherwise.
void ApplyArguments(const std::vector<std::wstring>& arguments, RunOptions& options);

// The text of the "/?" box: every command-line word and what it does.
extern const wchar_t kCommandLineHelp[];
