#pragma once

#include <string>
#include <vector>

// The judgements of the kit's Windows-only checks. The driver gathers
// plain data on Windows; these decide from it, so that each rule is
// unit-tested on every platform, a good input and the bad ones alike.

// What a check found: passed, or failed with a reason naming what failed;
// either way, what is worth showing without being a failure.
struct KitVerdict {
    bool passed;
    std::wstring reason;                   // empty on a pass
    std::vector<std::wstring> notes = {};  // each once, in the order found
};

// A drive and the device it stands for, as QueryDosDeviceW names it:
// {L"C:", L"\\Device\\HarddiskVolume3"}.
struct DriveDevice {
    std::wstring drive;
    std::wstring device;
};

// A path as GetMappedFileNameW gives it ("\Device\HarddiskVolume3\Windows\...")
// on the drive whose device begins it ("C:\Windows\..."), a path on a share
// ("\Device\Mup\server\share\...") as "\\server\share\...", and the NT
// name of a drive or share path ("\??\C:\...", "\??\UNC\server\...") as
// that path: empty where none applies.
std::wstring DrivePathOf(const std::wstring& devicePath, const std::vector<DriveDevice>& drives);

// True for a full path without "." or ".." among its names: a drive path
// ("C:\...") or a share's ("\\server\share\..."). What the kit's debugger
// writes for a module it could not name is none.
bool IsPlainFullPath(const std::wstring& path);

// The places one run of a program is judged by.
struct ModulePlaces {
    std::vector<std::wstring> systemFolders;
    std::wstring program;                    // its own file, the main image
    std::wstring currentFolder;              // the folder it started in
    std::vector<std::wstring> planted = {};  // planted DLLs: the files, or folders of them
};

// Planted DLLs: no module the program loaded (full paths, as the debug load
// events give them) other than the program itself comes from a place a
// planted DLL could be taken from: the program's folder, the current folder
// or a planted path; each such module fails, named, and so does one whose
// place is unknown (not a plain full path). A module from outside the
// system's folders and those places is no failure but a note. Paths compare
// without regard to ASCII case, with either separator.
KitVerdict ModuleLoadVerdict(const std::vector<std::wstring>& loadedPaths, const ModulePlaces& places);

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

// After a run that found the applied patch's cached copy `deleted` gone:
// the receipt names one copy (`actions` and `packages`, as it writes them,
// in its order), that one, put back.
KitVerdict PutBackVerdict(const std::vector<std::wstring>& actions, const std::vector<std::wstring>& packages,
                          const std::wstring& deleted);

// After /uninstall: none of the wrapper's patch codes is still applied,
// the product is back at the version it had before the patch, and the
// receipt's verdict on every product is "removed".
KitVerdict UninstallVerdict(const std::vector<std::wstring>& appliedAfter, const std::vector<std::wstring>& patchCodes,
                            const std::wstring& versionAfter, const std::wstring& versionBefore,
                            const std::vector<std::wstring>& receiptVerdicts);

// One event as the kit read it back from the Application log.
struct SeenEvent {
    unsigned id = 0;
    unsigned level = 0;                // as the event's XML gives it: 2 error, 3 warning, 4 information
    std::wstring message;              // as the source's message file makes it
    unsigned formatError = 0;          // why it could not be made; 0 when it was
    std::vector<std::wstring> data;    // its insertion strings
};

// The events a wrapper run left under its source: exactly one, of the id
// and level expected, whose message is its first string (the system's
// EventCreate.exe passes it through: no "description cannot be found"
// text), and whose second string is the receipt the run wrote, compact.
KitVerdict EventVerdict(const std::vector<SeenEvent>& events, unsigned id, unsigned level, const std::string& receipt);
