#include "kit_files_win.h"

#include <windows.h>

const wchar_t kKitNamePrefix[] = L"WrapperKit ";

std::wstring TempFolder()
{
    wchar_t folder[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) return std::wstring();
    std::wstring path(folder, length);
    if (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

void RemoveKitInstallerLogs(const std::wstring& prefix)
{
    const std::wstring temp = TempFolder();
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW((temp + L"\\" + kKitNamePrefix + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        // The pattern also matches by short names: the long name decides.
        const std::wstring name = found.cFileName;
        const bool kitLog = name.compare(0, wcslen(kKitNamePrefix), kKitNamePrefix) == 0 &&
                            name.find(L" SP ") != std::wstring::npos && name.size() > 4 &&
                            name.compare(name.size() - 4, 4, L".log") == 0;
        if (!kitLog || (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        const std::wstring path = temp + L"\\" + name;
        if (!prefix.empty()) CopyFileW(path.c_str(), (prefix + name).c_str(), FALSE);
        DeleteFileW(path.c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

std::wstring SystemProgram(const wchar_t* file)
{
    wchar_t system[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::wstring() : std::wstring(system) + L"\\" + file;
}

bool FileExists(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes)
{
    // Shared for writing too: a case reads a log while the run still writes it.
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bytes.clear();
    char buffer[65536];
    DWORD read = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, sizeof buffer, &read, nullptr) != 0) && read > 0) bytes.append(buffer, read);
    CloseHandle(file);
    return ok;
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    CloseHandle(file);
    return ok;
}
