#include "payload/temp_folder_win.h"

#include "payload/extract.h"
#include "payload/temp_folder.h"
#include "payload/temp_names.h"

#include <windows.h>
#include <sddl.h>

namespace {

constexpr DWORD kTempPathChars = 1024;
// Enough to step past any number of names planted by another account,
// few enough that a folder where nothing can be created fails quickly.
constexpr int kMaxNameAttempts = 1000;
// WriteFile takes a 32-bit count.
constexpr std::size_t kMaxWriteBytes = 0x40000000;

using TempPath2Function = DWORD(WINAPI*)(DWORD, LPWSTR);

bool RunsAsLocalSystem()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } info;
    DWORD length = 0;
    const bool system = GetTokenInformation(token, TokenUser, &info, sizeof info, &length) &&
                        IsWellKnownSid(info.user.User.Sid, WinLocalSystemSid);
    CloseHandle(token);
    return system;
}

// The folder only SYSTEM may use (C:\Windows\SystemTemp), from systems that
// have one; looked up rather than imported, so the wrapper still starts
// where it is missing. Empty for anyone but SYSTEM.
std::wstring SystemOnlyTempFolder()
{
    const auto tempPath2 = reinterpret_cast<TempPath2Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTempPath2W")));
    if (tempPath2 == nullptr || !RunsAsLocalSystem())
        return std::wstring();
    wchar_t folder[kTempPathChars];
    const DWORD length = tempPath2(kTempPathChars, folder);
    if (length == 0 || length >= kTempPathChars)
        return std::wstring();
    StripTrailingBackslash(folder);
    return folder;
}

// TMP as the runtime's temporary names read it: taken only when it names
// an existing folder.
std::wstring ExistingTmpFolder()
{
    wchar_t folder[kTempPathChars];
    const DWORD length = GetEnvironmentVariableW(L"TMP", folder, kTempPathChars);
    if (length == 0 || length >= kTempPathChars)
        return std::wstring();
    StripTrailingBackslash(folder);
    return DirectoryExists(folder) ? std::wstring(folder) : std::wstring();
}

// SYSTEM's own folder, else TMP when it is a folder; empty when neither.
std::wstring PreferredTempCopyFolder()
{
    std::wstring folder = SystemOnlyTempFolder();
    return folder.empty() ? ExistingTmpFolder() : folder;
}

// Builds the descriptor of kTempCopySecurity; freed with LocalFree.
PSECURITY_DESCRIPTOR TempCopyDescriptor()
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kTempCopySecurity, SDDL_REVISION_1, &descriptor,
                                                              nullptr))
        return nullptr;
    return descriptor;
}

// A name in use, whatever it is: a file, a folder, a link, or a file
// waiting to be deleted. Every other failure is the folder's.
bool IsNameTaken(DWORD error)
{
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED;
}

// Creates `path` only if no such name exists (never following a link that
// stands there), shared with nobody until it is closed.
HANDLE CreateExclusively(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor)
{
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    return CreateFileW(path.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool WriteAll(HANDLE file, const PatchBytes& patch)
{
    std::size_t done = 0;
    while (done < patch.size) {
        const std::size_t chunk = patch.size - done < kMaxWriteBytes ? patch.size - done : kMaxWriteBytes;
        DWORD written = 0;
        if (!WriteFile(file, patch.data + done, static_cast<DWORD>(chunk), &written, nullptr))
            return false;
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        done += written;
    }
    return true;
}

// Creates a new copy under a fresh name; INVALID_HANDLE_VALUE with the
// last-error value of the failure when none can be created.
HANDLE CreateFreshCopy(const std::wstring& folder, std::wstring& path)
{
    PSECURITY_DESCRIPTOR descriptor = TempCopyDescriptor();
    if (descriptor == nullptr)
        return INVALID_HANDLE_VALUE;
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < kMaxNameAttempts && file == INVALID_HANDLE_VALUE; ++attempt) {
        path = TempCopyName(folder, NextTempNameNumber());
        // The installer gets the copy by this name: it must fit a path buffer.
        if (path.size() >= kMaxPathChars) {
            error = ERROR_FILENAME_EXCED_RANGE;
            break;
        }
        file = CreateExclusively(path, descriptor);
        error = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        if (file == INVALID_HANDLE_VALUE && !IsNameTaken(error))
            break;
    }
    LocalFree(descriptor);
    SetLastError(error);
    return file;
}

} // namespace

std::wstring TempCopyFolder()
{
    std::wstring folder = PreferredTempCopyFolder();
    if (folder.empty()) {
        wchar_t fallback[kMaxPathChars];
        GetTempFolder(fallback, kMaxPathChars);
        folder = fallback;
    }
    return folder;
}

std::wstring TempCopyFolderName()
{
    std::wstring folder = PreferredTempCopyFolder();
    if (folder.empty()) {
        wchar_t path[kTempPathChars];
        const DWORD length = GetTempPathW(kTempPathChars, path);
        if (length == 0 || length >= kTempPathChars)
            return std::wstring();
        StripTrailingBackslash(path);
        folder = path;
    }
    return folder;
}

bool WriteTempPatchCopy(const PatchBytes& patch, std::wstring& path)
{
    std::wstring created;
    HANDLE file = CreateFreshCopy(TempCopyFolder(), created);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool written = WriteAll(file, patch);
    DWORD error = written ? ERROR_SUCCESS : GetLastError();
    // Data the system could not yet place on disk may fail only here.
    if (!CloseHandle(file) && written) {
        written = false;
        error = GetLastError();
    }
    if (!written) {
        DeleteFileW(created.c_str());
        SetLastError(error);
        return false;
    }
    path = created;
    return true;
}

void DeleteTempPatchCopy(const std::wstring& path)
{
    const DWORD error = GetLastError();
    DeleteFileW(path.c_str());
    SetLastError(error);
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

TempPatchCopy::~TempPatchCopy()
{
    if (!path_.empty())
        DeleteTempPatchCopy(path_);
}

bool TempPatchCopy::Written(std::wstring& path)
{
    if (path_.empty() && !WriteTempPatchCopy(patch_, path_))
        return false;
    path = path_;
    return true;
}
