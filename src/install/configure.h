#pragma once

#include <string>

// The verbose log of one installer call: "<folder>\<product> SP install.log"
// or "... SP rollback.log". Characters that cannot stand in a file name are
// replaced, so a product name never points the log into another folder.
std::wstring InstallerLogPath(const std::wstring& folder, const std::wstring& productName, bool remove);

// The installer property string that applies (or removes) a patch file.
std::wstring PatchPropertyString(const std::wstring& patchPath, const std::wstring& filesInUseText,
                                 bool remove);
