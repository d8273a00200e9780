#include "install/installer_wait_win.h"

#include "install/installer_busy.h"
#include "shared/process_state.h"
#include "shared/run_log_win.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr std::uint64_t kMillisecondsPerMinute = 60000;
// How often a held execution mutex is looked at again.
constexpr std::uint32_t kPollMilliseconds = 1000;
// A 1618 answer while the mutex looked free (an installation started between
// the look and the call, or one the mutex does not show): the next call
// comes after a pause that doubles from 5 s up to a minute.
constexpr std::uint32_t kFirstRetryPause = 5000;
constexpr std::uint32_t kLongestRetryPause = 60000;

std::uint64_t LeftMilliseconds()
{
    const std::uint64_t budget = Options.waitMinutes * kMillisecondsPerMinute;
    return budget > InstallerWaitSpent ? budget - InstallerWaitSpent : 0;
}

std::uint32_t RetryPause(unsigned busyAnswers)
{
    return std::min(kLongestRetryPause, kFirstRetryPause << std::min(busyAnswers - 1, 4u));
}

std::wstring Seconds(std::uint64_t milliseconds)
{
    return std::to_wstring(WholeSeconds(milliseconds)) + L" s";
}

std::wstring Minutes(unsigned minutes)
{
    return std::to_wstring(minutes) + (minutes == 1 ? L" minute" : L" minutes");
}

// Waits at least `pause`, then for as long as the execution mutex is held,
// never longer than `left`; true when the installer is free at the end.
bool WaitUntilFree(std::uint64_t left, std::uint32_t pause, std::uint64_t& waited)
{
    const std::uint32_t start = installer_busy::Milliseconds();
    for (;;) {
        // Unsigned 32-bit difference: right across the clock's wrap.
        waited = static_cast<std::uint32_t>(installer_busy::Milliseconds() - start);
        if ((waited >= pause || waited >= left) && !installer_busy::ExecutionMutexHeld())
            return true;
        if (waited >= left)
            return false;
        installer_busy::Pause(static_cast<std::uint32_t>(std::min<std::uint64_t>(kPollMilliseconds, left - waited)));
    }
}

} // namespace

unsigned WholeSeconds(std::uint64_t milliseconds)
{
    return static_cast<unsigned>((milliseconds + 500) / 1000);
}

bool AwaitInstaller(const std::wstring& slot, const std::wstring& call, unsigned busyAnswers)
{
    // Without a budget the installer is called as it comes, and its answer stands.
    if (Options.waitMinutes == 0)
        return busyAnswers == 0;
    const std::uint64_t left = LeftMilliseconds();
    std::uint32_t pause = 0;
    const wchar_t* reason = L"it answered 1618";
    if (busyAnswers == 0) {
        if (!installer_busy::ExecutionMutexHeld())
            return true;
        reason = L"its execution mutex is held";
    } else if (left == 0) {
        return false;
    } else {
        pause = RetryPause(busyAnswers);
    }

    Log(kLogWarning, slot + L": the installer is busy with another installation (" + reason + L"); waiting up to " +
                         Seconds(left) + L" before " + call);
    std::uint64_t waited = 0;
    const bool free = WaitUntilFree(left, pause, waited);
    InstallerWaitSpent += waited;
    const std::wstring state = free ? std::wstring(L"which is free now")
                                    : L"which is still busy: the run's waiting time of " +
                                          Minutes(Options.waitMinutes) + L" is spent";
    Log(kLogWarning, slot + L": waited " + Seconds(waited) + L" for the installer, " + state);
    return free;
}
