#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "kit_job_win.h"

// What the debugger saw of one process of a run.
struct DebuggedRun {
    std::wstring image;                 // the program's own file
    // Every DLL it loaded, in order, by full path; one that could not be
    // named, as "(a module at 0x...: why)".
    std::vector<std::wstring> modules;
    std::size_t beforeEntry = 0;        // how many of them the loader took before the program's code ran
    DWORD exitCode = 0;                 // of the program started (the launcher)
};

// Runs PROGRAM with ARGUMENTS in the job as its debugger, in FOLDER, until
// it and all it starts have ended: empty with RUN filled from the WATCHEDth
// process created (0: PROGRAM itself, 1: the first one it starts), or why
// it could not be watched to its end.
std::wstring DebugInJob(CaseJob& job, const std::wstring& program, const std::wstring& arguments,
                        const std::wstring& folder, std::size_t watched, DebuggedRun& run);

