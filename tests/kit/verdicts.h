#pragma once

#include <string>
#include <vector>

// The judgements of the kit's Windows-only checks. The driver gathers
// plain data on Windows; these decide from it, so that each rule is
// unit-tested on every platform, a good input and the bad ones alike.

// What a check found: passed, or failed with a reason naming what failed.
struct KitVerdict {
    bool passed;
    std::wstring reason;  // empty on a pass
};

// Planted DLLs: every module the program loaded (full paths, as the debug
// load events give them) lies in one of the system's folders or is the
// program itself. A module from the program's folder, from the current
// folder or from anywhere else fails, named. Paths compare without regard
// to ASCII case, with either separator.
KitVerdict ModuleLoadVerdict(const std::vector<std::wstring>& loadedPaths,
                             const std::vector<std::wstring>& systemFolders, const std::wstring& programPath,
                             const std::wstring& currentFolder);

// Planted DLLs that say so: the marker files a planted DLL writes when
// something loads it, as found after the run. None is a pass.
KitVerdict PlantedMarkersVerdict(const std::vector<std::wstring>& markersFound);

// A temporary patch copy's security descriptor, in SDDL with its owner and
// DACL: owned by SYSTEM, Administrators or USER (the SID of the user who
// ran the wrapper, as SDDL writes it: "S-1-5-21-..." or an alias such as
// "LA"), a protected DACL whose every entry allows SYSTEM or Administrators
// and nobody else, USER included.
KitVerdict CopySecurityVerdict(const std::wstring& sddl, const std::wstring& user);

// The copies' folder the log names against the one expected, without
// regard to ASCII case or trailing separators.
KitVerdict CopyFolderVerdict(const std::wstring& logged, const std::wstring& expected);

// The temporary folder named by the last run's "Operating system" record
// in a whole log; empty where the log has no such record.
std::wstring LogFolderLine(const std::wstring& logText);

// After a rollback: none of the run's patch codes is still applied.
KitVerdict RollbackVerdict(const std::vector<std::wstring>& appliedAfter,
                           const std::vector<std::wstring>& patchCodesOfRun);
