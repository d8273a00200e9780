// Holds a file open for reading and writing, sharing both, as an editor or
// a scanner may while a wrapper is built from it:
//
//   hold_open FILE SECONDS
//
// Prints "holding" once the file is open, then waits. Exit code 0, 1 when
// the file cannot be opened.
#include "text_win.h"

#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3)
        return 2;
    HANDLE file = CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    print_out(L"holding\n");
    Sleep(static_cast<DWORD>(std::stoul(argv[2])) * 1000);
    CloseHandle(file);
    return 0;
}
