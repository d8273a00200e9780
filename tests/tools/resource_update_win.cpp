// Writes a wrapper the way the builders did before they had a writer of
// their own: a copy of the wrapper without patches, then the patches added
// with the system's resource-update calls. An end-to-end test compares the
// resources of the two (resource_probe) as an independent check.
//
//   resource_update STUB OUT N=FILE...
//
// Exit code 0, 1 when a call fails, 2 for a bad command line.
#include "text_win.h"

#include <windows.h>

#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        print_err(L"usage: resource_update STUB OUT N=FILE...\n");
        return 2;
    }
    if (!CopyFileW(argv[1], argv[2], FALSE)) {
        print_err(L"resource_update: cannot copy the stub\n");
        return 1;
    }
    HANDLE update = BeginUpdateResourceW(argv[2], FALSE);
    for (int i = 3; i < argc && update != nullptr; ++i) {
        const std::wstring argument = argv[i];
        const size_t equals = argument.find(L'=');
        if (equals == std::wstring::npos)
            return 2;
        HANDLE file = CreateFileW(argument.substr(equals + 1).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        std::vector<char> bytes(file != INVALID_HANDLE_VALUE ? GetFileSize(file, nullptr) : 0);
        DWORD got = 0;
        const bool read = file != INVALID_HANDLE_VALUE &&
                          ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
        CloseHandle(file);
        const std::wstring name = L"IDR_MSP_" + argument.substr(0, equals);
        if (!read || !UpdateResourceW(update, L"MSP", name.c_str(), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                                      bytes.data(), got)) {
            print_err(L"resource_update: cannot add " + argument + L"\n");
            return 1;
        }
    }
    if (update == nullptr || !EndUpdateResourceW(update, FALSE)) {
        print_err(L"resource_update: cannot write the resources\n");
        return 1;
    }
    return 0;
}
