#pragma once

#include <string>

#include "kit_job_win.h"

// A product the kit installs, as its package names it.
struct KitProduct {
    std::wstring package;  // full path of the .msi
    std::wstring code;
    std::wstring name;
    std::wstring version;
};

// Reads the product's code, name and version from its package; false when
// it cannot be read.
bool ReadKitProduct(const std::wstring& package, KitProduct& product);

// Installed or advertised, in any context.
bool IsKnownToInstaller(const std::wstring& code);
// VersionString of the per-machine product, empty when it is not installed.
std::wstring InstalledVersion(const std::wstring& code);
// The patches applied to the per-machine product.
int AppliedPatchCount(const std::wstring& code);

// msiexec from the system folder, silent: its exit code, or a text that
// starts with "msiexec " for a start that failed or a case whose time ran out.
std::wstring Msiexec(CaseJob& job, const std::wstring& arguments, DWORD& exitCode);

// PRODUCT removed if the installer knows it, then installed from its
// package: empty, or why it is not at its package's version now.
std::wstring InstallFresh(CaseJob& job, const KitProduct& product);
// Removes PRODUCT when the installer knows it: empty, or why it is still there.
std::wstring RemoveProduct(CaseJob& job, const KitProduct& product);
