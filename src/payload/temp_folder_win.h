#pragma once

#include "payload/patch_slots.h"
#include "payload/temp_folder.h"

#include <windows.h>

#include <string>

// Who runs this process: SYSTEM, another elevated account, or not elevated.
RunAccount CurrentRunAccount();

// The folder that temporary patch copies of a run by `account` go to,
// without a trailing backslash (see ChooseTempCopyFolder). Nothing is
// created; empty when the system names none.
std::wstring TempCopyFolderFor(RunAccount account);

// The folder of this run's copies, which the log names.
std::wstring TempCopyFolder();

// Writes the patch to a new file "MSP<n>" in TempCopyFolder(), created
// exclusively and readable by SYSTEM and Administrators only, and names
// it in `path`; the folder is made when it is missing. A name that exists
// in any form is never opened; the next one is tried. False when no copy
// could be written whole; the last-error value then says why and no file
// is left behind.
bool WriteTempPatchCopy(const PatchBytes& patch, std::wstring& path);

// The same in a given folder.
bool WriteTempPatchCopyIn(const std::wstring& folder, const PatchBytes& patch, std::wstring& path);

// The file WriteTempPatchCopyIn writes: new, empty, under a fresh name in
// `folder` (named in `path`), shared with nobody until it is closed;
// INVALID_HANDLE_VALUE with the last-error value of the failure when none
// can be created.
HANDLE CreateTempPatchCopyIn(const std::wstring& folder, std::wstring& path);

// Writes the whole patch to the open file, in pieces WriteFile can take;
// false with the last-error value of a write that failed.
bool WritePatchBytes(HANDLE file, const PatchBytes& patch);

// A temporary copy of one patch for the installer, written only when it is
// first asked for, and deleted (keeping the last-error value) when it goes
// out of scope.
class TempPatchCopy {
public:
    explicit TempPatchCopy(const PatchBytes& patch) : patch_(patch) {}
    ~TempPatchCopy();
    TempPatchCopy(const TempPatchCopy&) = delete;
    TempPatchCopy& operator=(const TempPatchCopy&) = delete;

    // Writes the copy unless it is written already, and names it; false
    // when it cannot be written (the last-error value says why).
    bool EnsureWritten(std::wstring& path);

private:
    PatchBytes patch_;
    std::wstring path_;
};

// Deletes a temporary copy, keeping the last-error value as it was: a
// failure message shows the code of the failure, not of the clean-up.
void DeleteTempPatchCopy(const std::wstring& path);

// Fills `buffer` with the account's temporary folder (the installer logs'
// folder) without its trailing backslash, creating the folder when it is
// missing; "c:" when neither works.
void GetTempFolder(wchar_t* buffer, int size);

bool DirectoryExists(const std::wstring& path);
