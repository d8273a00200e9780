#include "install/installer_busy.h"
#include "install/installer_wait_win.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

DWORD WINAPI TakeAndRelease(void* mutex)
{
    const DWORD wait = WaitForSingleObject(mutex, 0);
    ReleaseMutex(mutex);
    return wait;
}

// The look at a free mutex owns it for an instant only: an installation
// starting after it (another one, or this run's own next installer call)
// must find it free.
TEST(ExecutionMutexHeld, LeavesAFreeMutexFreeForOthers)
{
    HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Global\\_MSIExecute");
    EXPECT_FALSE(installer_busy::ExecutionMutexHeld());
    HANDLE other = CreateThread(nullptr, 0, TakeAndRelease, mutex, 0, nullptr);
    WaitForSingleObject(other, INFINITE);
    DWORD wait = WAIT_FAILED;
    GetExitCodeThread(other, &wait);
    EXPECT_EQ(wait, WAIT_OBJECT_0);
    CloseHandle(other);
    CloseHandle(mutex);
}

} // namespace

// The log's and the receipt's seconds: rounded to the nearest, at the edges.
TEST(WholeSeconds, RoundsToTheNearest)
{
    const std::pair<std::uint64_t, unsigned> rows[] = {{0, 0}, {499, 0}, {500, 1}, {2499, 2}, {2500, 3}, {2900, 3}};
    for (const auto& row : rows)
        EXPECT_EQ(WholeSeconds(row.first), row.second) << row.first;
}
