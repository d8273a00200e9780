#pragma once

#include <string>
#include <vector>

#include "kit_job_win.h"

// A product the kit installs, as its package names it.
struct KitProduct {
    std::wstring package;  // full path of the .msi
    std::wstring code;
    std::wstring name;
    std::wstring version;
    bool perUser = false;  // installed for the current user alone (ALLUSERS="")
};

// Reads the product's code, name and version from its package; false when
// it cannot be read.
bool ReadKitProduct(const std::wstring& package, bool perUser, KitProduct& product);

// Installed or advertised, in any context.
bool IsKnownToInstaller(const std::wstring& code);
// VersionString, empty when the product is not installed.
std::wstring InstalledVersion(const KitProduct& product);
// The patches applied to the product: their codes, their count, and the
// first one's code (empty: none).
std::vector<std::wstring> AppliedPatchCodes(const KitProduct& product);
int AppliedPatchCount(const KitProduct& product);
std::wstring AppliedPatchCode(const KitProduct& product);
// The installer's cached copy of the first patch applied (its LocalPackage),
// empty when there is none.
std::wstring AppliedPatchCopy(const KitProduct& product);

// msiexec from the system folder, silent, its verbose log where the job
// says: its exit code, or a text that starts with "msiexec " for a start
// that failed or a case whose time ran out.
std::wstring Msiexec(CaseJob& job, const std::wstring& arguments, DWORD& exitCode);

// PRODUCT removed if the installer knows it, then installed from its
// package: empty, or why it is not at its package's version now.
std::wstring InstallFresh(CaseJob& job, const KitProduct& product);
// Removes PRODUCT when the installer knows it: empty, or why it is still there.
std::wstring RemoveProduct(CaseJob& job, const KitProduct& product);
