#pragma once

#include <string>

// What one installer call does with this wrapper's patches.
enum InstallerCall : int {
    kCallInstall,    // applies a patch file
    kCallRollback,   // removes again a patch file this run applied
    kCallUninstall,  // removes patches, named by their codes, whoever applied them
};

// The verbose log of one installer call: "<folder>\<product> SP
// install.log", "... SP rollback.log" or "... SP uninstall.log". Characters
// that cannot stand in a file name are replaced, so a product name never
// points the log into another folder.
std::wstring InstallerLogPath(const std::wstring& folder, const std::wstring& productName, InstallerCall call);

// The installer property string of the call. `patches` is the patch file's
// path, or for kCallUninstall the patch codes separated by ";", which the
// installer removes in one transaction ("MSIPATCHREMOVE property").
std::wstring PatchPropertyString(InstallerCall call, const std::wstring& patches, const std::wstring& filesInUseText);
