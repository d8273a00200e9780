#pragma once

#include <windows.h>

#include <string>

// Gives the open file `file` the name `name`, replacing whatever file has
// that name: relative to the open folder `folder`, or, with folder nullptr,
// `name` is a full path. Renamed through the handle, so that the file stays
// held until it is in place. A program that holds the old file for a
// moment without sharing its deletion (a scanner, a collector reading it)
// is waited for about 2 s. ERROR_SUCCESS, or the system's error.
DWORD RenameOpenFile(HANDLE file, HANDLE folder, const std::wstring& name);

// Errors of ReplaceFileWhole besides the system's own, each the system's
// code nearest to it (ERROR_REPARSE_POINT_ENCOUNTERED, ERROR_TOO_MANY_LINKS,
// ERROR_DIRECTORY_NOT_SUPPORTED).
constexpr DWORD kReplaceLink = 4395;        // the file or its folder is a link or other reparse point
constexpr DWORD kReplaceSecondName = 1142;  // the file has a second name (a hard link)
constexpr DWORD kReplaceFolder = 336;       // the path names a folder

// Opens the folder `path` to create and rename relative to it, asking for
// "Read attributes" alone, without following a link at it: refused, as
// kReplaceLink, when it is one or another reparse point, as ERROR_DIRECTORY
// when it is no folder. ERROR_SUCCESS with the handle, or the error.
DWORD OpenFolderWithoutLink(const std::wstring& path, HANDLE& folder);

// The same for the folder `name` directly inside the open folder `parent`.
DWORD OpenFolderIn(HANDLE parent, const std::wstring& name, HANDLE& folder);

// Creates the file `name` in the open folder `folder` only where no such
// name exists (never through a link standing there), for writing and
// shared with nobody: ERROR_SUCCESS with the handle, ERROR_ALREADY_EXISTS
// where the name is taken, or the system's error.
DWORD CreateNewFileIn(HANDLE folder, const std::wstring& name, HANDLE& file);

// Closes a file CreateNewFileIn made and removes it with its name.
void DiscardNewFile(HANDLE file);

// Makes `bytes` the whole content of the file `path` so that a reader sees
// the old file or the new one, never a part: written to a new, exclusively
// created name in the same folder, flushed, then renamed over `path`. The
// folder is opened once, without following a reparse point, and the new
// file is created and renamed relative to that handle, so that a junction
// swapped in for the folder meanwhile cannot steer the write elsewhere.
// Refused, leaving everything as it was: a link or other reparse point as
// the folder or at `path`, a file there with a second name, a folder there.
// ERROR_SUCCESS, one of the errors above, or the system's error; on any
// error no new file is left behind.
DWORD ReplaceFileWhole(const std::wstring& path, const std::string& bytes);
