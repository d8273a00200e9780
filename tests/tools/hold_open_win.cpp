// Holds a file open for reading and writing, sharing both, as an editor or
// a scanner may while a wrapper is built from it:
//
//   hold_open FILE SECONDS READY [lock]
//
// With "lock" it also holds an exclusive lock on every byte of FILE, past
// its end too, as any program that can open a file may. Creates the file
// READY once FILE is open (and locked; its output would reach the test
// only at its end), then waits. Exit code 0, 1 when a file cannot be
// opened or locked.
#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv)
{
    const bool lock = argc == 5 && std::wstring(argv[4]) == L"lock";
    if (argc != 4 && !lock)
        return 2;
    HANDLE file = CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    OVERLAPPED everything = {};
    if (lock && !LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                            &everything))
        return 1;
    HANDLE ready = CreateFileW(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (ready == INVALID_HANDLE_VALUE)
        return 1;
    CloseHandle(ready);
    Sleep(static_cast<DWORD>(std::stoul(argv[2])) * 1000);
    CloseHandle(file);
    return 0;
}
