#pragma once

#include <string>

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
