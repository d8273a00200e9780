#pragma once

#include "builder/patch_plan.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The files a builder reads and writes, one implementation per platform
// (build_files_posix.cpp, build_files_win.cpp), in the same terms, so that
// both builders refuse in the same words. Names are the builder's
// arguments: UTF-8 file names on Linux, UTF-16 on Windows.
//
// Where the build's lock lives, and who may remove what: the wrapper is
// written into OUT.partial beside the output OUT and renamed over OUT when
// it is finished. OUT.partial is the lock. It is made anew (never opened
// if something stands there) and held (flock on Linux, a handle shared
// with nobody on Windows) from its first byte until the wrapper is in
// place, signing included; a second build of the same OUT finds it held
// and refuses ("another build is writing it"). Only the build that holds
// it creates, writes, renames or removes OUT.partial and, when it signs,
// the folder OUT.signing. What a killed build left at OUT.partial is
// removed by name only when it is a plain file with one name that no
// build holds (on Windows: that no program has open); a folder, a link or
// a file with a second name there is refused, never followed or written
// through.

using FileHandle = std::intptr_t;
constexpr FileHandle kNoFile = -1;

// What went wrong with a file, in words of our own: the system's texts
// differ between the builders.
enum FileProblem {
    kFileFine,
    kFileDenied,  // no permission, read-only, immutable
    kFileFull,  // no space left
    kFileTooLarge,  // past the largest file the file system or the user's limit takes
    kFileFolder,  // a folder stands at the name
    kFileBusy,  // another build is writing it
    kFileInUse,  // another program has it open (Windows)
    kFileLink,  // a link or other reparse point stands at the name
    kFileSecondName,  // a file that has another name too (a hard link)
    kFileNotRegular,  // a device, a pipe or a socket stands at the name
    kFileNotFolder,  // a file stands where the build makes a folder
    kFileNotPrivate,  // the file system sets its own owner or mode on what the build makes
    kFileNoDrive,  // the path's drive does not exist (Windows)
    kFileNameTooLong,  // a name in the path is longer than the system takes
    kFilePathTooLong,  // the whole path is longer than the system takes
    kFileOther,
};

// Whether a name in `path`, between two of `separators`, is longer than
// 255: the longest name the file systems take, in bytes on Linux
// (NAME_MAX), in UTF-16 units on Windows (learn.microsoft.com, "Maximum
// Path Length Limitation").
template <typename Text>
bool HasOverlongName(const Text& path, const typename Text::value_type* separators)
{
    constexpr std::size_t kLongestName = 255;
    std::size_t start = 0;
    for (std::size_t end; (end = path.find_first_of(separators, start)) != Text::npos; start = end + 1) {
        if (end - start > kLongestName)
            return true;
    }
    return path.size() - start > kLongestName;
}

// Size and identity: a patch that is replaced or changes after the first
// look is refused.
struct FileStamp {
    std::uint64_t size = 0;
    FileIdentity identity;
};
inline bool SameStamp(const FileStamp& a, const FileStamp& b)
{
    return a.size == b.size && a.identity == b.identity;
}

// The facts of the file named `file`, as the refusals of patch_plan.h need
// them, but for `written`, which NamesOneFile tells.
PatchFileFacts LookAtPatchFile(const std::wstring& file);

// Whether the names `a` and `b` lead to one file: the same file where both
// stand, else the same name in the same folder, the nearest folder of each
// path that exists taken by its identity, so that "./", "dir/..", the full
// path and a linked folder all count (on Windows, the name whatever the
// case).
bool NamesOneFile(const std::wstring& a, const std::wstring& b);

// What follows the last folder separator of `path`: the file's name as
// given.
std::wstring FileNameOf(const std::wstring& path);

// A patch opened for reading, shared with programs that read or write it.
FileHandle OpenPatchForReading(const std::wstring& file, FileStamp& stamp);
bool StampOfOpenFile(FileHandle file, FileStamp& stamp);
// Bytes read from where the last read ended, 0 at the end, -1 on an error.
std::int64_t ReadFromFile(FileHandle file, std::uint8_t* buffer, std::size_t size);
// Likewise from `offset`, in a scratch file (which is held for reading
// too) or another file opened for reading.
std::int64_t ReadFromFileAt(FileHandle file, std::uint64_t offset, std::uint8_t* buffer, std::size_t size);
void CloseFile(FileHandle file);

// Whether a folder stands at `path`.
bool IsFolder(const std::wstring& path);
// The folder of `path` and the folders above it, made where missing;
// `made` gets the folders made, the highest first.
FileProblem MakeFolderOf(const std::wstring& path, std::vector<std::wstring>& made);
// The folders of `made` that are empty, removed from the deepest up; a
// folder that holds anything stays, and so do the ones above it.
void RemoveEmptyFolders(const std::vector<std::wstring>& made);

// The scratch file `path` (OUT.partial), made anew and held for writing,
// as the rule above says.
FileHandle CreateScratchFile(const std::wstring& path, FileProblem& problem);
FileProblem WriteToFile(FileHandle file, const std::uint8_t* bytes, std::size_t size);
FileProblem WriteToFileAt(FileHandle file, std::uint64_t offset, const std::uint8_t* bytes, std::size_t size);
// `from` renamed over `to`, replacing a file there, while the build still
// holds its scratch file `file`, which the caller closes after. On
// Windows `from` is `file`'s own name, and it is renamed through `file`. Not
// flushed to the disk first: a wrapper is as safe as the copy it stands for
// and is built again in seconds.
FileProblem PutInPlace(FileHandle file, const std::wstring& from, const std::wstring& to);
// The scratch file `file` at `path` removed, then closed.
void RemoveScratchFile(FileHandle file, const std::wstring& path);

// Linux only, for signing. The signer opens its output by name and refuses
// one that exists, so it writes into a folder made anew for it at `path`
// (OUT.signing), for this user alone, which the build holds open and names
// to the signer as /dev/fd/N/`name`: that leads into the held folder,
// whatever `path` leads to by then. What a killed build left at `path` (a
// folder holding at most `name`) is removed first, never through a link.
// Only the build that holds OUT.partial calls these. kNoFile, with the
// problem, when the folder cannot be made.
FileHandle MakeSigningFolder(const std::wstring& path, const std::wstring& name, FileProblem& problem);
// `name` in the held folder opened for reading; kNoFile when it cannot be.
FileHandle OpenSignedFile(FileHandle folder, const std::wstring& name);
// `name` in the held folder renamed over `to`.
FileProblem PutSignedInPlace(FileHandle folder, const std::wstring& name, const std::wstring& to);
// `name` removed from the held folder, the folder removed by `path` while
// that still leads to it, and closed.
void RemoveSigningFolder(FileHandle folder, const std::wstring& path, const std::wstring& name);
