#include "builder/build_files.h"

#include <windows.h>

#include <algorithm>

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

bool SameFile(HANDLE a, const std::wstring& other)
{
    HANDLE b = CreateFileW(other.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (b == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION x, y;
    const bool same = GetFileInformationByHandle(a, &x) && GetFileInformationByHandle(b, &y) &&
                      x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
                      x.nFileIndexLow == y.nFileIndexLow;
    CloseHandle(b);
    return same;
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

bool IsFolderPath(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The folder and the missing ones above it, from the top down. Made here
// rather than by the shell's call, which would bring shell32 and the DLLs
// it loads into the builder.
FileProblem MakeFolder(const std::wstring& folder)
{
    if (IsFolderPath(folder))
        return kFileFine;
    const size_t separator = folder.find_last_of(L"\\/");
    if (separator != std::wstring::npos && separator > 0) {
        const FileProblem parent = MakeFolder(folder.substr(0, separator));
        if (parent != kFileFine)
            return parent;
    }
    if (CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
        return kFileFine;
    return ProblemOf(GetLastError());
}

} // namespace

PatchFileFacts LookAtPatchFile(const std::wstring& file, const std::wstring& output)
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
    facts.isOutput = SameFile(handle, output);
    std::uint8_t head[sizeof kCompoundFileSignature] = {};
    DWORD got = 0;
    facts.readable = ReadFile(handle, head, sizeof head, &got, nullptr) != FALSE;
    facts.signature = got == sizeof head && std::equal(head, head + sizeof head, kCompoundFileSignature);
    CloseHandle(handle);
    return facts;
}

const std::uint8_t* MapOpenFile(FileHandle file, std::uint64_t)
{
    HANDLE mapping = CreateFileMappingW(HandleOf(file), nullptr, PAGE_READONLY, 0, 0, nullptr);
    const void* view = mapping != nullptr ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
    // The view keeps the mapping alive.
    if (mapping != nullptr)
        CloseHandle(mapping);
    return static_cast<const std::uint8_t*>(view);
}

void UnmapPatchFile(const std::uint8_t* bytes, std::uint64_t)
{
    UnmapViewOfFile(bytes);
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
    stamp.modified = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(information.ftLastWriteTime.dwHighDateTime) << 32) |
        information.ftLastWriteTime.dwLowDateTime);
    return true;
}

std::int64_t ReadFromFile(FileHandle file, std::uint8_t* buffer, std::size_t size)
{
    DWORD got = 0;
    if (!ReadFile(HandleOf(file), buffer, static_cast<DWORD>(std::min<std::size_t>(size, MAXDWORD)), &got, nullptr))
        return -1;
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

FileProblem MakeFolderOf(const std::wstring& path)
{
    const std::wstring full = FullPathOf(path);
    const size_t separator = full.find_last_of(L"\\/");
    if (full.empty() || separator == std::wstring::npos)
        return kFileOther;
    return MakeFolder(full.substr(0, separator));
}

FileHandle CreatePartialFile(const std::wstring& path, FileProblem& problem)
{
    // Shared with nobody: a second build of the same wrapper finds it busy.
    // A link or junction at the name is opened as itself and refused.
    HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        problem = ProblemOf(GetLastError());
        return kNoFile;
    }
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(out, &information))
        problem = ProblemOf(GetLastError());
    else if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        problem = kFileLink;
    else if (!SetEndOfFile(out))
        problem = ProblemOf(GetLastError());
    else
        problem = kFileFine;
    if (problem == kFileFine)
        return reinterpret_cast<FileHandle>(out);
    CloseHandle(out);
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

FileProblem FinishFile(FileHandle file)
{
    return CloseHandle(HandleOf(file)) ? kFileFine : ProblemOf(GetLastError());
}

FileProblem MoveOver(const std::wstring& from, const std::wstring& to)
{
    if (IsFolder(to))
        return kFileFolder;
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) ? kFileFine
                                                                              : ProblemOf(GetLastError());
}

void RemoveFile(const std::wstring& path)
{
    DeleteFileW(path.c_str());
}
