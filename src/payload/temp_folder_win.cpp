#include "payload/temp_folder_win.h"

#include "payload/temp_folder.h"

#include <windows.h>


namespace {
constexpr DWORD kTempPathChars = 1024;
constexpr int kMaxNameAttempts = 100000;
}

std::wstring MakeTempPatchPath()
{
    wchar_t folder[kTempPathChars];
    const DWORD length = GetTempPathW(kTempPathChars, folder);
    if (length == 0 || length >= kTempPathChars)
        return std::wstring();

    // Names are "MSP" and a number, without extension, so that extracting
    // to them with slot number 0 keeps them as they are. The counter moves on
    // with every call and skips names already in use. It starts from the
    // process id, so that two wrappers running at once (which the existence
    // test alone cannot keep apart) choose different names.
    static unsigned long counter = (GetCurrentProcessId() & 0xFFFF) * 1000;
    for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
        std::wstring path = folder;
        path += L"MSP" + std::to_wstring(++counter);
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            return path;
    }
    return std::wstring();
}

void GetTempFolder(wchar_t* buffer, int size)
{
    const DWORD length = GetTempPathW(static_cast<DWORD>(size - 1), buffer);
    // A longer path than the buffer leaves the buffer undefined: treat it as unreadable.
    if (length != 0 && length < static_cast<DWORD>(size - 1)) {
        StripTrailingBackslash(buffer);
        if (DirectoryExists(buffer) || CreateDirectoryW(buffer, nullptr))
            return;
    }
    lstrcpyW(buffer, L"c:");
}

bool DirectoryExists(const std::wstring& path)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
