#pragma once

#include <cstdint>
#include <string>

// Removes one trailing backslash unless it belongs to a drive root:
// C:\Temp\ -> C:\Temp, C:\ stays, a lone backslash becomes empty.
void StripTrailingBackslash(wchar_t* path);

// The name of a temporary patch copy: "<folder>\MSP" and the number in ten
// digits, without an extension, so that the installer and the wrapper name
// it alike, and every name in a folder is as long as every other.
std::wstring TempCopyName(const std::wstring& folder, std::uint32_t number);

// True when creating a copy failed with `error` because something stands
// at the name (a file, a folder, a link, a file waiting to be deleted): the
// next name is tried. Every other failure is the folder's.
bool IsTempNameTaken(unsigned long error);

// A path that names its drive or share: C:\..., \\server\...
bool IsFullPath(const std::wstring& path);

// Who runs the wrapper, as far as where its copies may go.
enum RunAccount {
    kRunAsSystem,
    kRunElevated,    // an administrator's elevated run, not SYSTEM
    kRunUnelevated,
};

// The folders a copy could go to, each without a trailing backslash, empty
// where there is none.
struct TempFolderCandidates {
    std::wstring systemOnly;   // SYSTEM's own, from GetTempPath2W
    std::wstring windowsTemp;  // %SystemRoot%\Temp
    std::wstring tmp;          // TMP, when it names an existing folder by a full path
    std::wstring accountTemp;  // GetTempPathW's
};

// Where the copies go: SYSTEM's own folder where the system has one; for an
// elevated run the Windows temporary folder, where users cannot delete or
// rename what other accounts made; else TMP, else the account's folder.
std::wstring ChooseTempCopyFolder(RunAccount account, const TempFolderCandidates& candidates);

// Who may open a temporary patch copy: SYSTEM and Administrators, full
// access each, nobody else, and no inherited entries. The wrapper always
// runs elevated, and the installer reads the copy as SYSTEM.
constexpr wchar_t kTempCopySecurity[] = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)";
