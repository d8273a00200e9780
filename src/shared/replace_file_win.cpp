#include "shared/replace_file_win.h"

#include "shared/flush_file_win.h"

#include <winternl.h>

#include <algorithm>
#include <vector>

namespace {

constexpr int kRenameAttempts = 20;
constexpr DWORD kRenamePauseMs = 100;
// Names a crashed run left behind are skipped; this many are tried.
constexpr unsigned kNameAttempts = 64;
// The new file's name keeps this much of the target's, so that it stays
// within a name's 255 characters and still tells whose it is.
constexpr size_t kKeptNameChars = 200;
constexpr NTSTATUS kStatusNameCollision = static_cast<NTSTATUS>(0xC0000035);
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The native create, which takes an open folder as the root of a relative
// name (learn.microsoft.com, "NtCreateFile function", ObjectAttributes, and
// "InitializeObjectAttributes macro", RootDirectory): the name is not
// looked up again from the top of the path. ntdll is in every process from
// its first instruction, so asking for it by name searches nothing.
struct NativeCalls {
    decltype(&NtCreateFile) createFile = nullptr;
    decltype(&NtSetInformationFile) setInformation = nullptr;
    decltype(&RtlNtStatusToDosError) errorOf = nullptr;
};

template <typename Function>
Function NativeFunction(const char* name)
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const FARPROC address = ntdll != nullptr ? GetProcAddress(ntdll, name) : nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

bool LoadNativeCalls(NativeCalls& calls)
{
    calls.createFile = NativeFunction<decltype(&NtCreateFile)>("NtCreateFile");
    calls.setInformation = NativeFunction<decltype(&NtSetInformationFile)>("NtSetInformationFile");
    calls.errorOf = NativeFunction<decltype(&RtlNtStatusToDosError)>("RtlNtStatusToDosError");
    return calls.createFile != nullptr && calls.setInformation != nullptr && calls.errorOf != nullptr;
}

// Opens `name` in `folder` without following a reparse point at it.
// ERROR_SUCCESS or the system's error; the raw status in `status`.
DWORD OpenInFolder(const NativeCalls& calls, HANDLE folder, const std::wstring& name, ACCESS_MASK access,
                   ULONG share, ULONG disposition, ULONG options, HANDLE& file, NTSTATUS& status)
{
    UNICODE_STRING text;
    text.Buffer = const_cast<wchar_t*>(name.c_str());
    text.Length = text.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK io = {};
    status = calls.createFile(&file, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                              disposition, options | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT,
                              nullptr, 0);
    if (status >= 0)
        return ERROR_SUCCESS;
    file = INVALID_HANDLE_VALUE;
    return calls.errorOf(status);
}

DWORD SetRelativeName(const NativeCalls& calls, HANDLE file, FILE_RENAME_INFO& rename, size_t size)
{
    IO_STATUS_BLOCK io = {};
    const NTSTATUS status =
        calls.setInformation(file, &io, &rename, static_cast<ULONG>(size), FileRenameInformation);
    return status >= 0 ? ERROR_SUCCESS : calls.errorOf(status);
}

// Whether what the handle opened is what a replace may work with: a folder
// (`folder`) or a file with one name, and no link or other reparse point.
DWORD ProblemOf(HANDLE handle, bool folder)
{
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(handle, &information))
        return GetLastError();
    if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return kReplaceLink;
    const bool isFolder = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (isFolder != folder)
        return isFolder ? kReplaceFolder : ERROR_DIRECTORY;
    return !isFolder && information.nNumberOfLinks > 1 ? kReplaceSecondName : ERROR_SUCCESS;
}

// What stands at `leaf` in the folder now: nothing, or a plain file with
// one name, may be replaced.
DWORD CheckReplaceable(const NativeCalls& calls, HANDLE folder, const std::wstring& leaf)
{
    HANDLE existing;
    NTSTATUS status;
    if (OpenInFolder(calls, folder, leaf, FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, 0, existing, status) !=
        ERROR_SUCCESS)
        return ERROR_SUCCESS;  // nothing there, or nothing that can be looked at: the rename decides
    const DWORD problem = ProblemOf(existing, false);
    CloseHandle(existing);
    return problem;
}

bool WriteWhole(HANDLE file, const std::string& bytes)
{
    DWORD written = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size() && FlushWrittenFile(file);
}

// Whether `folder` (without its last separator) is the root of a drive or
// a share, which is opened only with its separator: "C:\", "\\server\share\".
bool IsRoot(const std::wstring& folder)
{
    if (!folder.empty() && folder.back() == L':')
        return true;
    std::wstring rest;
    if (folder.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        rest = folder.substr(8);
    else if (folder.compare(0, 2, L"\\\\") == 0 && folder.compare(0, 4, L"\\\\?\\") != 0 &&
             folder.compare(0, 4, L"\\\\.\\") != 0)
        rest = folder.substr(2);
    else
        return false;
    return std::count(rest.begin(), rest.end(), L'\\') == 1;
}

// The folder that holds `path`, without its last separator unless it is a
// root (a trailing separator on a folder's name is a form the
// documentation leaves unsettled for a share), and the name in it.
bool SplitFullPath(const std::wstring& path, std::wstring& folder, std::wstring& leaf)
{
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return false;
    std::vector<wchar_t> full(needed);
    const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed)
        return false;
    const std::wstring text(full.data(), length);
    const size_t separator = text.find_last_of(L'\\');
    if (separator == std::wstring::npos)
        return false;
    folder = text.substr(0, separator);
    if (IsRoot(folder))
        folder += L'\\';
    leaf = text.substr(separator + 1);
    return true;
}

// OpenInFolder, the native calls looked up first.
DWORD OpenRelative(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG share, ULONG disposition,
                   ULONG options, HANDLE& file, NTSTATUS& status)
{
    NativeCalls calls;
    status = 0;
    if (!LoadNativeCalls(calls))
        return ERROR_PROC_NOT_FOUND;
    return OpenInFolder(calls, folder, name, access, share, disposition, options, file, status);
}

// A folder just opened (`error`: the open's answer) is kept only when it is
// a folder and no link; else it is closed and the problem returned.
DWORD KeptIfPlainFolder(DWORD error, HANDLE folder)
{
    if (error == ERROR_SUCCESS && (error = ProblemOf(folder, true)) != ERROR_SUCCESS)
        CloseHandle(folder);
    return error;
}

} // namespace

// The folder opened with the one right its check needs, "Read attributes":
// a receipts share grants the computers that and "Create files" on the
// folder, nothing more (docs/receipts.md). Asking for more, as
// FILE_TRAVERSE, fails where the DACL does not grant it. Creating and
// renaming relative to the handle are checked against the folder's DACL
// as a create by its full path would be; the documentation names no
// access the root handle itself needs ("NtCreateFile function",
// ObjectAttributes; "OBJECT_ATTRIBUTES structure", RootDirectory), which
// Wine cannot show: the kit's receipt-share case checks it on Windows.
DWORD OpenFolderWithoutLink(const std::wstring& path, HANDLE& folder)
{
    folder = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    return KeptIfPlainFolder(folder == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS, folder);
}

DWORD OpenFolderIn(HANDLE parent, const std::wstring& name, HANDLE& folder)
{
    NTSTATUS status;
    return KeptIfPlainFolder(
        OpenRelative(parent, name, FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, FILE_DIRECTORY_FILE, folder, status),
        folder);
}

// No descriptor is given: the new file takes what its folder hands down
// (learn.microsoft.com, "Security Descriptors for New Objects").
DWORD CreateNewFileIn(HANDLE folder, const std::wstring& name, HANDLE& file)
{
    NTSTATUS status;
    const DWORD error =
        OpenRelative(folder, name, GENERIC_WRITE | DELETE, 0, FILE_CREATE, FILE_NON_DIRECTORY_FILE, file, status);
    return status == kStatusNameCollision ? ERROR_ALREADY_EXISTS : error;
}

void DiscardNewFile(HANDLE file)
{
    // Removed, the name with it, when the handle is closed
    // (learn.microsoft.com, "FILE_DISPOSITION_INFO structure").
    FILE_DISPOSITION_INFO remove = {TRUE};
    SetFileInformationByHandle(file, FileDispositionInfo, &remove, sizeof remove);
    CloseHandle(file);
}

namespace {

// A new file under a name nobody has, beside `leaf`: "<leaf>.<process>-<n>.tmp".
DWORD CreateNewFileBeside(HANDLE folder, const std::wstring& leaf, HANDLE& file)
{
    const std::wstring stem = leaf.substr(0, kKeptNameChars) + L"." + std::to_wstring(GetCurrentProcessId()) + L"-";
    DWORD error = ERROR_ALREADY_EXISTS;
    for (unsigned attempt = 0; attempt < kNameAttempts && error == ERROR_ALREADY_EXISTS; ++attempt)
        error = CreateNewFileIn(folder, stem + std::to_wstring(attempt) + L".tmp", file);
    return error;
}

// Writes the new file and puts it in place; removes it on any failure.
DWORD ReplaceInFolder(const NativeCalls& calls, HANDLE folder, const std::wstring& leaf, const std::string& bytes)
{
    HANDLE file;
    DWORD error = CreateNewFileBeside(folder, leaf, file);
    if (error != ERROR_SUCCESS)
        return error;
    if (!WriteWhole(file, bytes))
        error = GetLastError();
    if (error == ERROR_SUCCESS)
        error = CheckReplaceable(calls, folder, leaf);
    if (error == ERROR_SUCCESS)
        error = RenameOpenFile(file, folder, leaf);
    if (error != ERROR_SUCCESS)
        DiscardNewFile(file);
    else
        CloseHandle(file);
    return error;
}

} // namespace

DWORD RenameOpenFile(HANDLE file, HANDLE folder, const std::wstring& name)
{
    // RootDirectory is the folder the new name is relative to, or null for
    // a full path (learn.microsoft.com, "FILE_RENAME_INFO structure", and
    // for the native call "FILE_RENAME_INFORMATION structure", the same
    // layout). A relative name goes to the native call as it is: Wine's
    // SetFileInformationByHandle makes every name a full path first, which
    // beside a root folder it then refuses (error 87, Wine 8).
    NativeCalls calls;
    if (folder != nullptr && !LoadNativeCalls(calls))
        return ERROR_PROC_NOT_FOUND;
    const DWORD nameBytes = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    FILE_RENAME_INFO* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = folder;
    rename->FileNameLength = nameBytes;
    std::copy(name.begin(), name.end(), rename->FileName);
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 0; attempt < kRenameAttempts; ++attempt) {
        if (attempt > 0)
            Sleep(kRenamePauseMs);
        error = folder != nullptr ? SetRelativeName(calls, file, *rename, buffer.size())
                                  : (SetFileInformationByHandle(file, FileRenameInfo, rename,
                                                                static_cast<DWORD>(buffer.size()))
                                         ? ERROR_SUCCESS
                                         : GetLastError());
        if (error == ERROR_SUCCESS)
            return error;
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED)
            break;
    }
    return error;
}

DWORD ReplaceFileWhole(const std::wstring& path, const std::string& bytes)
{
    NativeCalls calls;
    if (!LoadNativeCalls(calls))
        return ERROR_PROC_NOT_FOUND;
    std::wstring folderPath;
    std::wstring leaf;
    if (!SplitFullPath(path, folderPath, leaf))
        return GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_INVALID_NAME;
    if (leaf.empty())
        return kReplaceFolder;
    HANDLE folder;
    DWORD error = OpenFolderWithoutLink(folderPath, folder);
    if (error != ERROR_SUCCESS)
        return error;
    error = ReplaceInFolder(calls, folder, leaf, bytes);
    CloseHandle(folder);
    return error;
}
