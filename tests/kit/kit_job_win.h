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
    // Where the case's installer calls write their verbose logs: this,
    // then the call's number and ".log" (empty: no logs).
    std::wstring logPrefix;
    int installerCalls = 0;
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

// Starts PROGRAM as RunInJob does, with CreateProcessW's FLAGS, in FOLDER
// (empty: the driver's own), and returns at once: true with the process's
// handle in PROCESS (its thread's closed), false as RunInJob.
bool StartInJob(CaseJob& job, const std::wstring& program, const std::wstring& arguments, DWORD flags,
                const std::wstring& folder, PROCESS_INFORMATION& process);
// What is left of the case's time, in milliseconds.
DWORD TimeLeft(const CaseJob& job);
// Ends the case's time: whatever of it still runs is killed.
void TimeOut(CaseJob& job);
// The same, for a case that acts while the program runs: the started
// process, or null (a failed start, with GetLastError's code); then the
// wait, which closes the handle.
HANDLE StartInJob(CaseJob& job, const std::wstring& program, const std::wstring& arguments);
bool WaitInJob(CaseJob& job, HANDLE process, DWORD& exitCode);

// Looks every 100 ms whether DONE holds, until it does (true) or the case's
// time is up (false).
bool WaitUntil(const CaseJob& job, const std::function<bool()>& done);
