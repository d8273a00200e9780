#pragma once

#include <windows.h>

#include <string>

// One case's processes: all of them in one job object with a time limit,
// so that a box nobody answers or an installer that hangs ends the case
// instead of the kit.
struct CaseJob {
    HANDLE job = nullptr;
    ULONGLONG deadline = 0;
    bool timedOut = false;
};

bool OpenCaseJob(CaseJob& job, DWORD limitMs);
// Closing the job kills whatever of the case still runs.
void CloseCaseJob(CaseJob& job);

// Runs PROGRAM (a full path) with ARGUMENTS in the job, its standard
// handles on NUL, and waits until it ends or the case's time is up: true
// with its exit code, or false (a failed start, with GetLastError's code;
// or the time is up: then job.timedOut is set and nothing more runs in the
// job).
bool RunInJob(CaseJob& job, const std::wstring& program, const std::wstring& arguments, DWORD& exitCode);
