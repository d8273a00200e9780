#include "kit_job_win.h"

#include "text_win.h"

bool OpenCaseJob(CaseJob& job, DWORD limitMs)
{
    job.job = CreateJobObjectW(nullptr, nullptr);
    if (!job.job) return false;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    job.deadline = GetTickCount64() + limitMs;
    job.timedOut = false;
    return SetInformationJobObject(job.job, JobObjectExtendedLimitInformation, &limits, sizeof limits) != 0;
}

void CloseCaseJob(CaseJob& job)
{
    if (job.job) CloseHandle(job.job);
    job.job = nullptr;
}

bool StartInJob(CaseJob& job, const std::wstring& program, const std::wstring& arguments, DWORD flags,
                const std::wstring& folder, PROCESS_INFORMATION& process)
{
    if (job.timedOut) return false;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
    std::wstring commandLine = Quoted(program) + L" " + arguments;
    // Suspended until it is in the job, so that nothing it starts escapes:
    // what a process in a job starts is in the job too, and the kit's jobs
    // may sit in a job of whoever started the kit (nested jobs, Windows 8
    // and later: https://learn.microsoft.com/windows/win32/procthread/job-objects).
    const BOOL started = CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                                        flags | CREATE_SUSPENDED, nullptr, folder.empty() ? nullptr : folder.c_str(),
                                        &startup, &process);
    const DWORD startError = GetLastError();
    if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
    if (!started) {
        SetLastError(startError);
        return false;
    }
    if (!AssignProcessToJobObject(job.job, process.hProcess)) {
        TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return false;
    }
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    return true;
}

DWORD TimeLeft(const CaseJob& job)
{
    const ULONGLONG now = GetTickCount64();
    return now < job.deadline ? static_cast<DWORD>(job.deadline - now) : 0;
}

void TimeOut(CaseJob& job)
{
    job.timedOut = true;
    TerminateJobObject(job.job, 1);
}

HANDLE StartInJob(CaseJob& job, const std::wstring& program, const std::wstring& arguments)
{
    PROCESS_INFORMATION process = {};
    return StartInJob(job, program, arguments, 0, std::wstring(), process) ? process.hProcess : nullptr;
}

bool WaitInJob(CaseJob& job, HANDLE process, DWORD& exitCode)
{
    const bool ended = WaitForSingleObject(process, TimeLeft(job)) == WAIT_OBJECT_0;
    if (ended) GetExitCodeProcess(process, &exitCode);
    CloseHandle(process);
    if (!ended) TimeOut(job);
    return ended;
}

bool RunInJob(CaseJob& job, const std::wstring& program, const std::wstring& arguments, DWORD& exitCode)
{
    HANDLE process = StartInJob(job, program, arguments);
    return process != nullptr && WaitInJob(job, process, exitCode);
}

bool WaitUntil(const CaseJob& job, const std::function<bool()>& done)
{
    while (!done()) {
        if (GetTickCount64() >= job.deadline) return false;
        Sleep(100);
    }
    return true;
}
