#include "builder/build_files.h"

#include "builder/build_steps.h"
#include "shared/replace_file_win.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace {

// Patches are read while other programs may hold them open, even for
// writing (an editor, a scanner, a copy still syncing); a change during
// the copy is caught by the stamps instead.
constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

HANDLE HandleOf(FileHandle file)
{
    return reinterpret_cast<HANDLE>(file);
}

FileProblem ProblemOf(DWORD error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return kFileDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return kFileFull;
    case ERROR_FILE_TOO_LARGE:
        return kFileTooLarge;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return kFileBusy;
    case ERROR_CANT_ACCESS_FILE:
    case ERROR_CANT_RESOLVE_FILENAME:
        return kFileLink;
    default:
        return kFileOther;
    }
}

std::wstring FullPathOf(const std::wstring& path)
{
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return std::wstring();
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
    if (length == 0 || length >= needed)
        return std::wstring();
    full.resize(length);
    return full;
}

// What a failed create or open of `path` means. A missing drive and a
// name or path too long come back as "file not found" or "path not found"
// under Wine 8 (a create past the host's PATH_MAX as ERROR_GEN_FAILURE:
// its wineserver cannot map ENAMETOOLONG), and may as ERROR_INVALID_DRIVE,
// ERROR_INVALID_NAME or ERROR_FILENAME_EXCED_RANGE on Windows: the path
// tells which.
FileProblem ProblemAt(const std::wstring& path, DWORD error)
{
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_INVALID_DRIVE &&
        error != ERROR_INVALID_NAME && error != ERROR_FILENAME_EXCED_RANGE && error != ERROR_GEN_FAILURE)
        return ProblemOf(error);
    const std::wstring full = FullPathOf(path);
    if (full.size() >= 2 && full[1] == L':' && GetDriveTypeW((full.substr(0, 2) + L"\\").c_str()) == DRIVE_NO_ROOT_DIR)
        return kFileNoDrive;
    if (HasOverlongName(full, L"\\/"))
        return kFileNameTooLong;
    // A path of MAX_PATH characters or more fails unless in the "\\?\"
    // form (then up to 32,767) for a program not marked long-path aware,
    // as the builder is not (learn.microsoft.com, "Maximum Path Length
    // Limitation"); Wine 8 takes paths up to the host's limit.
    const bool extended = full.compare(0, 4, L"\\\\?\\") == 0;
    if (error == ERROR_FILENAME_EXCED_RANGE || (full.size() >= MAX_PATH && !extended))
        return kFilePathTooLong;
    return ProblemOf(error);
}

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& information)
{
    FileIdentity identity;
    identity.volume = information.dwVolumeSerialNumber;
    identity.index = (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    identity.modified = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(information.ftLastWriteTime.dwHighDateTime) << 32) |
        information.ftLastWriteTime.dwLowDateTime);
    return identity;
}

// The identity of what stands at `path`, followed where it is a link;
// false when nothing there opens.
bool InformationAt(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& information)
{
    HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool known = GetFileInformationByHandle(file, &information) != FALSE;
    CloseHandle(file);
    return known;
}

bool SameIdentity(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b)
{
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

// Where `path` puts its file: the nearest folder of its full path that
// opens, by identity (a linked folder or a junction leads to the folder it
// names), and the rest of the path from there. Never above a drive's root
// ("C:\", "\\?\C:\"), which opens with its separator.
bool PlaceOf(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& folder, std::wstring& rest)
{
    const std::wstring full = FullPathOf(path);
    for (size_t end = full.find_last_of(L"\\/"); end != std::wstring::npos && end >= 2;
         end = full.find_last_of(L"\\/", end - 1)) {
        if (InformationAt(full.substr(0, full[end - 1] == L':' ? end + 1 : end), folder)) {
            rest = full.substr(end + 1);
            return (folder.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        }
    }
    return false;
}

bool IsFolderPath(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The folder and the missing ones above it, from the top down, those made
// added to `made`. Made here rather than by the shell's call, which would
// bring shell32 and the DLLs it loads into the builder.
FileProblem MakeFolder(const std::wstring& folder, std::vector<std::wstring>& made)
{
    if (IsFolderPath(folder))
        return kFileFine;
    const size_t separator = folder.find_last_of(L"\\/");
    if (separator != std::wstring::npos && separator > 0) {
        const FileProblem parent = MakeFolder(folder.substr(0, separator), made);
        if (parent != kFileFine)
            return parent;
    }
    if (CreateDirectoryW(folder.c_str(), nullptr)) {
        made.push_back(folder);
        return kFileFine;
    }
    return GetLastError() == ERROR_ALREADY_EXISTS ? kFileFine : ProblemAt(folder, GetLastError());
}

// Whether another program has `path` open without sharing its deletion.
// A rename over such a file can fail with access denied, as over a
// read-only one (Wine 8 answers so; Windows may answer either this or a
// sharing violation); opening it for deletion tells the two apart.
bool HeldByAnother(const std::wstring& path)
{
    HANDLE probe = CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (probe == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(probe);
    return false;
}

// What a killed build left at `path`, removed as the rule of build_files.h
// says: opened as itself (a link is not followed), shared with nobody, so
// that a file a running build holds does not open at all.
FileProblem RemoveLeftover(const std::wstring& path)
{
    HANDLE left = CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (left == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? kFileFine : ProblemAt(path, error);
    }
    BY_HANDLE_FILE_INFORMATION information;
    FILE_DISPOSITION_INFO remove = {TRUE};
    FileProblem problem = kFileFine;
    if (!GetFileInformationByHandle(left, &information))
        problem = ProblemOf(GetLastError());
    else if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        problem = kFileLink;
    else if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        problem = kFileFolder;
    else if (information.nNumberOfLinks > 1)
        problem = kFileSecondName;
    // Removed, the name with it, when the handle is closed
    // (learn.microsoft.com, "FILE_DISPOSITION_INFO structure").
    else if (!SetFileInformationByHandle(left, FileDispositionInfo, &remove, sizeof remove))
        problem = ProblemOf(GetLastError());
    CloseHandle(left);
    return problem;
}

} // namespace

PatchFileFacts LookAtPatchFile(const std::wstring& file)
{
    PatchFileFacts facts;
    facts.fullPath = FullPathOf(file);
    WIN32_FILE_ATTRIBUTE_DATA data;
    facts.exists = GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data) != FALSE;
    facts.regular = facts.exists && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    if (!facts.regular)
        return facts;
    facts.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, kShareReadWrite, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return facts;
    // A device name such as NUL opens too.
    facts.regular = GetFileType(handle) == FILE_TYPE_DISK;
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileInformationByHandle(handle, &information)) {
        facts.identity = IdentityOf(information);
        std::uint8_t head[sizeof kCompoundFileSignature] = {};
        DWORD got = 0;
        facts.readable = ReadFile(handle, head, sizeof head, &got, nullptr) != FALSE;
        facts.signature = got == sizeof head && std::equal(head, head + sizeof head, kCompoundFileSignature);
    }
    CloseHandle(handle);
    return facts;
}

bool NamesOneFile(const std::wstring& a, const std::wstring& b)
{
    BY_HANDLE_FILE_INFORMATION first, second;
    if (InformationAt(a, first) && InformationAt(b, second))
        return SameIdentity(first, second);
    std::wstring firstRest, secondRest;
    return PlaceOf(a, first, firstRest) && PlaceOf(b, second, secondRest) && SameIdentity(first, second) &&
           CompareStringOrdinal(firstRest.c_str(), -1, secondRest.c_str(), -1, TRUE) == CSTR_EQUAL;
}

std::wstring FileNameOf(const std::wstring& path)
{
    return path.substr(path.find_last_of(L"\\/:") + 1);
}

FileHandle OpenPatchForReading(const std::wstring& file, FileStamp& stamp)
{
    HANDLE in = CreateFileW(file.c_str(), GENERIC_READ, kShareReadWrite, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (in == INVALID_HANDLE_VALUE)
        return kNoFile;
    if (!StampOfOpenFile(reinterpret_cast<FileHandle>(in), stamp)) {
        CloseHandle(in);
        return kNoFile;
    }
    return reinterpret_cast<FileHandle>(in);
}

bool StampOfOpenFile(FileHandle file, FileStamp& stamp)
{
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(HandleOf(file), &information))
        return false;
    stamp.size = (static_cast<std::uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    stamp.identity = IdentityOf(information);
    return true;
}

std::int64_t ReadFromFile(FileHandle file, std::uint8_t* buffer, std::size_t size)
{
    DWORD got = 0;
    if (!ReadFile(HandleOf(file), buffer, static_cast<DWORD>(std::min<std::size_t>(size, MAXDWORD)), &got, nullptr))
        return -1;
    return got;
}

std::int64_t ReadFromFileAt(FileHandle file, std::uint64_t offset, std::uint8_t* buffer, std::size_t size)
{
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    // A synchronous read given an OVERLAPPED fails with ERROR_HANDLE_EOF
    // at the end of the file (learn.microsoft.com, ReadFile,
    // "Considerations for working with synchronous file handles").
    if (!ReadFile(HandleOf(file), buffer, static_cast<DWORD>(std::min<std::size_t>(size, MAXDWORD)), &got, &at))
        return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return got;
}

void CloseFile(FileHandle file)
{
    CloseHandle(HandleOf(file));
}

bool IsFolder(const std::wstring& path)
{
    return IsFolderPath(path);
}

FileProblem MakeFolderOf(const std::wstring& path, std::vector<std::wstring>& made)
{
    const std::wstring full = FullPathOf(path);
    const size_t separator = full.find_last_of(L"\\/");
    if (full.empty() || separator == std::wstring::npos)
        return kFileOther;
    return MakeFolder(full.substr(0, separator), made);
}

void RemoveEmptyFolders(const std::vector<std::wstring>& made)
{
    // RemoveDirectoryW removes only an empty folder.
    for (auto folder = made.rbegin(); folder != made.rend() && RemoveDirectoryW(folder->c_str()); ++folder) {
    }
}

FileHandle CreateScratchFile(const std::wstring& path, FileProblem& problem)
{
    problem = RemoveLeftover(path);
    if (problem != kFileFine)
        return kNoFile;
    ReachedBuildStep(kScratchNameCleared, path);
    // Shared with nobody: a second build of the same wrapper cannot open
    // it. CREATE_NEW with FILE_FLAG_OPEN_REPARSE_POINT fails on whatever
    // stands at the name, a dangling link included, where plain CREATE_NEW
    // would follow the link and create its target (learn.microsoft.com,
    // "Symbolic Link Effects on File Systems Functions", CreateFile).
    // DELETE, to rename or remove it through this handle; GENERIC_READ, to
    // read back what was written into it.
    HANDLE out = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (out != INVALID_HANDLE_VALUE)
        return reinterpret_cast<FileHandle>(out);
    const DWORD error = GetLastError();
    problem = error == ERROR_FILE_EXISTS ? kFileBusy : ProblemAt(path, error);
    return kNoFile;
}

FileProblem WriteToFile(FileHandle file, const std::uint8_t* bytes, std::size_t size)
{
    while (size > 0) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        DWORD wrote = 0;
        if (!WriteFile(HandleOf(file), bytes, piece, &wrote, nullptr) || wrote == 0)
            return ProblemOf(GetLastError());
        bytes += wrote;
        size -= wrote;
    }
    return kFileFine;
}

FileProblem WriteToFileAt(FileHandle file, std::uint64_t offset, const std::uint8_t* bytes, std::size_t size)
{
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD wrote = 0;
    if (!WriteFile(HandleOf(file), bytes, static_cast<DWORD>(size), &wrote, &at) || wrote != size)
        return ProblemOf(GetLastError());
    return kFileFine;
}

FileProblem PutInPlace(FileHandle file, const std::wstring&, const std::wstring& to)
{
    if (IsFolder(to))
        return kFileFolder;
    // Renamed through the handle, so that the file stays held until it is in place.
    const DWORD error = RenameOpenFile(HandleOf(file), nullptr, FullPathOf(to));
    if (error == ERROR_SUCCESS)
        return kFileFine;
    return error == ERROR_SHARING_VIOLATION || (error == ERROR_ACCESS_DENIED && HeldByAnother(to)) ? kFileInUse
                                                                                                  : ProblemOf(error);
}

void RemoveScratchFile(FileHandle file, const std::wstring&)
{
    FILE_DISPOSITION_INFO remove = {TRUE};
    SetFileInformationByHandle(HandleOf(file), FileDispositionInfo, &remove, sizeof remove);
    CloseHandle(HandleOf(file));
}
