#pragma once

#include "shared/run_options.h"

#include <string>
#include <vector>

// Applies an argument vector (element 0 is the program) to `options`.
// `infoMode` is deliberately left as it was unless "/i" or "/pi" says otherwise.
void ApplyArguments(const std::vector<std::wstring>& arguments, RunOptions& options);

// The text of the "/?" box: every command-line word and what it does.
extern const wchar_t kCommandLineHelp[];

// Ordinal comparison with ASCII-only case folding, as _wcsicmp does in the C locale.
bool EqualsIgnoringAsciiCase(const std::wstring& left, const wchar_t* right);
