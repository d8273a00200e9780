#pragma once

#include <string>
#include <vector>

// What the command line asked for. Written once, before any mode runs.
struct RunOptions {
    bool quiet = false;
    bool installMode = false;
    bool extractMode = false;
    bool infoMode = false;
    std::wstring extractPath;
    // The install run ends with a code that deployment systems understand
    // instead of 0. Off unless asked for: existing deployments expect 0.
    bool deploymentExitCode = false;
};

// Applies an argument vector (element 0 is the program) to `options`.
// `infoMode` is deliberately left as it was unless "/i" or "/pi" says otherwise.
void ApplyArguments(const std::vector<std::wstring>& arguments, RunOptions& options);

// Ordinal comparison with ASCII-only case folding, as _wcsicmp does in the C locale.
bool EqualsIgnoringAsciiCase(const std::wstring& left, const wchar_t* right);
