// Plays another installation for the end-to-end tests: Wine's installer
// never answers 1618 by itself, so this program creates and owns the
// installer's execution mutex (Global\_MSIExecute) as the installer service
// does while it runs an installation, and releases it when told.
//
//   hold_installer READY-FILE RELEASE-FILE
//
// Creates READY-FILE once it owns the mutex, then holds it until
// RELEASE-FILE exists (at most five minutes, so that a test that fails
// halfway leaves nothing running). Exit code 0 after releasing it, 1 when it
// could not own it, 2 for a bad command line.
#include <windows.h>

namespace {

constexpr DWORD kLongestHoldMilliseconds = 5 * 60 * 1000;
constexpr DWORD kPollMilliseconds = 50;

bool Exists(const wchar_t* path)
{
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3)
        return 2;
    // A mutex that exists with no owner (an open handle keeps it after its
    // owner let go) is taken too: only an owner makes the installer busy
    // (learn.microsoft.com/windows/win32/msi/-msiexecute-mutex).
    HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Global\\_MSIExecute");
    const DWORD taken = mutex != nullptr ? WaitForSingleObject(mutex, 0) : WAIT_FAILED;
    if (taken != WAIT_OBJECT_0 && taken != WAIT_ABANDONED)
        return 1;
    HANDLE ready = CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready == INVALID_HANDLE_VALUE)
        return 1;
    CloseHandle(ready);
    for (DWORD held = 0; held < kLongestHoldMilliseconds && !Exists(argv[2]); held += kPollMilliseconds)
        Sleep(kPollMilliseconds);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    return 0;
}
