#pragma once

#include <windows.h>

#include <functional>
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
// RunInJob in two halves, for a case that acts while the program runs: the
// started process, or null (a failed start, with GetLastError's code); then
// the wait, which closes the handle.
HANDLE StartInJob(CaseJob& job, const std::wstring& program, const std::wstring& arguments);
bool WaitInJob(CaseJob& job, HANDLE process, DWORD& exitCode);

// Looks every 100 ms whether DONE holds, until it does (true) or the case's
// time is up (false).
bool WaitUntil(const CaseJob& job, const std::function<bool()>& done);
