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

// One fact about the process token; false when it cannot be read.
template <typename Information>
bool ReadToken(TOKEN_INFORMATION_CLASS kind, Information& information)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    DWORD length = 0;
    const bool read = GetTokenInformation(token, kind, &information, sizeof information, &length);
    CloseHandle(token);
    return read;
}

// A folder as the system names it, without its trailing backslash; empty
// when the name does not fit.
template <typename Query>
std::wstring FolderNamed(Query query)
{
    wchar_t folder[kTempPathChars];
    const DWORD length = query(kTempPathChars, folder);
    if (length == 0 || length >= kTempPathChars)
        return std::wstring();
    StripTrailingBackslash(folder);
    return folder;
}

// The folder only SYSTEM may use (C:\Windows\SystemTemp), from systems that
// have one (GetTempPath2W, learn.microsoft.com/windows/win32/api/fileapi/
// nf-fileapi-gettemppath2w); looked up rather than imported, so the wrapper
// still starts where it is missing. For other accounts it answers as
// GetTempPathW, and ChooseTempCopyFolder does not take it from them.
std::wstring SystemOnlyTempFolder()
{
    const auto tempPath2 = reinterpret_cast<TempPath2Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTempPath2W")));
    return tempPath2 == nullptr ? std::wstring() : FolderNamed(tempPath2);
}

// %SystemRoot%\Temp. Users may create files there, but only the account
// that made a file may delete or rename it: deleting or renaming takes
// DELETE on the file or FILE_DELETE_CHILD on the folder (File Security and
// Access Rights, learn.microsoft.com/windows/win32/fileio/
// file-security-and-access-rights); the folder's default entries give users
// those on their own files only (CREATOR OWNER), and the copy's descriptor
// gives them to SYSTEM and Administrators only. A user's %TMP% instead
// gives that user full control of the folder, so the same user's unelevated
// processes could rename a closed copy away and put their own patch under
// its name. The copy is not held open across the installer call instead:
// no Microsoft documentation says how the installer service opens a patch,
// so a handle kept without FILE_SHARE_DELETE might as well make that open
// fail with a sharing violation.
std::wstring WindowsTempFolder()
{
    std::wstring folder =
        FolderNamed([](DWORD size, wchar_t* buffer) { return GetSystemWindowsDirectoryW(buffer, size); });
    return folder.empty() ? folder : folder + L"\\Temp";
}

// TMP as the runtime's temporary names read it: taken only when it names
// an existing folder by a full path (a relative one would move with the
// current folder).
std::wstring ExistingTmpFolder()
{
    const std::wstring folder =
        FolderNamed([](DWORD size, wchar_t* buffer) { return GetEnvironmentVariableW(L"TMP", buffer, size); });
    return IsFullPath(folder) && DirectoryExists(folder) ? folder : std::wstring();
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

// Creates `path` only if no such name exists (never following a link that
// stands there), shared with nobody until it is closed.
HANDLE CreateExclusively(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor)
{
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    return CreateFileW(path.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

bool WritePatchBytes(HANDLE file, const PatchBytes& patch)
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

HANDLE CreateTempPatchCopyIn(const std::wstring& folder, std::wstring& path)
{
    // The installer gets the copy by its name, which must fit a path
    // buffer; every name in the folder is as long as the first.
    if (folder.empty() || TempCopyName(folder, 0).size() >= kMaxPathChars) {
        SetLastError(folder.empty() ? ERROR_PATH_NOT_FOUND : ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    PSECURITY_DESCRIPTOR descriptor = TempCopyDescriptor();
    if (descriptor == nullptr)
        return INVALID_HANDLE_VALUE;
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < kMaxNameAttempts && file == INVALID_HANDLE_VALUE; ++attempt) {
        path = TempCopyName(folder, NextTempNameNumber());
        file = CreateExclusively(path, descriptor);
        error = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        if (file == INVALID_HANDLE_VALUE && !IsTempNameTaken(error))
            break;
    }
    LocalFree(descriptor);
    SetLastError(error);
    return file;
}

RunAccount CurrentRunAccount()
{
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } owner;
    if (ReadToken(TokenUser, owner) && IsWellKnownSid(owner.user.User.Sid, WinLocalSystemSid))
        return kRunAsSystem;
    TOKEN_ELEVATION elevation = {};
    return ReadToken(TokenElevation, elevation) && elevation.TokenIsElevated ? kRunElevated : kRunUnelevated;
}

std::wstring TempCopyFolderFor(RunAccount account)
{
    TempFolderCandidates candidates;
    candidates.systemOnly = SystemOnlyTempFolder();
    candidates.windowsTemp = WindowsTempFolder();
    candidates.tmp = ExistingTmpFolder();
    candidates.accountTemp = FolderNamed(GetTempPathW);
    return ChooseTempCopyFolder(account, candidates);
}

std::wstring TempCopyFolder()
{
    return TempCopyFolderFor(CurrentRunAccount());
}

bool WriteTempPatchCopy(const PatchBytes& patch, std::wstring& path)
{
    return WriteTempPatchCopyIn(TempCopyFolder(), patch, path);
}

bool WriteTempPatchCopyIn(const std::wstring& folder, const PatchBytes& patch, std::wstring& path)
{
    // Only the account's own folder can be missing; made as GetTempFolder does.
    if (!folder.empty() && !DirectoryExists(folder))
        CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring created;
    HANDLE file = CreateTempPatchCopyIn(folder, created);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool written = WritePatchBytes(file, patch);
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

bool TempPatchCopy::EnsureWritten(std::wstring& path)
{
    if (path_.empty() && !WriteTempPatchCopy(patch_, path_))
        return false;
    path = path_;
    return true;
}
