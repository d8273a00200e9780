#pragma once

#include "payload/patch_slots.h"

#include <string>

// The folder that temporary patch copies go to, without a trailing
// backslash: for a process running as SYSTEM the system's own temporary
// folder where the platform has one; else the folder named by TMP when it
// exists; else GetTempFolder's.
std::wstring TempCopyFolder();

// The same folder as the system names it, for the log: nothing is created.
std::wstring TempCopyFolderName();

// Writes the patch to a new file "MSP<n>" in TempCopyFolder(), created
// exclusively and readable by SYSTEM and Administrators only, and names
// it in `path`. A name that exists in any form is never opened; the next
// one is tried. False when no copy could be written whole; the last-error
// value then says why and no file is left behind.
bool WriteTempPatchCopy(const PatchBytes& patch, std::wstring& path);

// A temporary copy of one patch for the installer, written only when it is
// first asked for, and deleted (keeping the last-error value) when it goes
// out of scope.
class TempPatchCopy {
public:
    explicit TempPatchCopy(const PatchBytes& patch) : patch_(patch) {}
    ~TempPatchCopy();
    TempPatchCopy(const TempPatchCopy&) = delete;
    TempPatchCopy& operator=(const TempPatchCopy&) = delete;

    // The copy's path, written first if need be; false when it cannot be
    // written (the last-error value says why).
    bool Written(std::wstring& path);

private:
    PatchBytes patch_;
    std::wstring path_;
};

// Deletes a temporary copy, keeping the last-error value as it was: a
// failure message shows the code of the failure, not of the clean-up.
void DeleteTempPatchCopy(const std::wstring& path);

// Fills `buffer` with the temporary folder without its trailing backslash,
// creating the folder when it is missing; "c:" when neither works.
void GetTempFolder(wchar_t* buffer, int size);

bool DirectoryExists(const std::wstring& path);
