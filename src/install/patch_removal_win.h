#pragma once

#include "install/product_record.h"

#include <string>

// Where and how the installer registers a patch for a product, read in
// `removal`: the first of the contexts machine, user-managed and
// user-unmanaged (the current user's) whose "State" names it, that state
// and the registered "Uninstallable" value. Nothing registered leaves
// context and state 0.
void ReadPatchRegistration(const std::wstring& patchCode, const std::wstring& productCode,
                           PatchRemovalRecord& removal);

// One property of the patch on the product in `context` ("State",
// "LocalPackage", ...); empty where the installer answers anything but success.
std::wstring ReadPatchProperty(const std::wstring& patchCode, const std::wstring& productCode, int context,
                               const wchar_t* property);

// The patch's registered state for the product in `context`; 0 where none is registered.
unsigned ReadPatchState(const std::wstring& patchCode, const std::wstring& productCode, int context);

// The installer knows the product only as another user's per-user
// installation, which this account cannot remove.
bool InstalledForAnotherUserOnly(const std::wstring& productCode);
