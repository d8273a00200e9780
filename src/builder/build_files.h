#pragma once

#include "builder/patch_plan.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The files a builder reads and writes, one implementation per platform
// (build_files_posix.cpp, build_files_win.cpp), in the same terms, so that
// both builders refuse in the same words. Names are the builder's
// arguments: UTF-8 file names on Linux, UTF-16 on Windows.

using FileHandle = std::intptr_t;
constexpr FileHandle kNoFile = -1;

// What went wrong with a file, in words of our own: the system's texts
// differ between the builders.
enum FileProblem {
    kFileFine,
    kFileDenied,  // no permission, read-only, immutable
    kFileFull,  // no space left
    kFileFolder,  // a folder stands at the name
    kFileBusy,  // another build is writing it
    kFileLink,  // a link or other reparse point stands at the name
    kFileOther,
};

// Size and last write time: a patch that changes while it is copied is
// refused.
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t modified = 0;
};

// The facts of the file named `file`, as the refusals of patch_plan.h need
// them; `output` is the wrapper's file name, which need not exist.
PatchFileFacts LookAtPatchFile(const std::wstring& file, const std::wstring& output);

// A patch opened for reading, shared with programs that read or write it.
FileHandle OpenPatchForReading(const std::wstring& file, FileStamp& stamp);
// The whole open file of `size` (not empty) bytes, mapped read-only for
// the checks, which read only the pages they touch; it stays mapped when
// the file is closed, until UnmapPatchFile. Nullptr when it cannot be.
const std::uint8_t* MapOpenFile(FileHandle file, std::uint64_t size);
void UnmapPatchFile(const std::uint8_t* bytes, std::uint64_t size);
bool StampOfOpenFile(FileHandle file, FileStamp& stamp);
// Bytes read, 0 at the end, -1 on an error.
std::int64_t ReadFromFile(FileHandle file, std::uint8_t* buffer, std::size_t size);
void CloseFile(FileHandle file);

// Whether a folder stands at `path`.
bool IsFolder(const std::wstring& path);
// The folder of `path` and the folders above it, made where missing.
FileProblem MakeFolderOf(const std::wstring& path);
// `path` opened for writing, created or emptied, held so that a second
// build of the same wrapper finds it busy; never through a link.
FileHandle CreatePartialFile(const std::wstring& path, FileProblem& problem);
FileProblem WriteToFile(FileHandle file, const std::uint8_t* bytes, std::size_t size);
FileProblem WriteToFileAt(FileHandle file, std::uint64_t offset, const std::uint8_t* bytes, std::size_t size);
// Flushed and closed.
FileProblem FinishFile(FileHandle file);
// `from` renamed over `to`, replacing a file there.
FileProblem MoveOver(const std::wstring& from, const std::wstring& to);
void RemoveFile(const std::wstring& path);
