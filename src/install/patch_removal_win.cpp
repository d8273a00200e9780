#include "install/patch_removal_win.h"

#include "install/msi_api.h"

#include <cwchar>

namespace {

// Enough for any value read here, a path included.
constexpr std::uint32_t kValueChars = 1024;

// The machine's context first, then the current user's: the wrapper runs
// elevated and patches per-machine products; a user's own installation of
// the same product comes after it.
constexpr int kRegistrationContexts[] = {kContextMachine, kContextUserManaged, kContextUserUnmanaged};

} // namespace

// Each call gets the whole buffer: the length an earlier answer left would
// cut a longer value short.
std::wstring ReadPatchProperty(const std::wstring& patchCode, const std::wstring& productCode, int context,
                               const wchar_t* property)
{
    wchar_t buffer[kValueChars] = L"";
    std::uint32_t length = kValueChars;
    if (msi_api::GetPatchInfoEx(patchCode.c_str(), productCode.c_str(), context, property, buffer, &length) !=
        kMsiSuccess)
        return std::wstring();
    return std::wstring(buffer, wcsnlen(buffer, kValueChars));
}

unsigned ReadPatchState(const std::wstring& patchCode, const std::wstring& productCode, int context)
{
    const std::wstring state = ReadPatchProperty(patchCode, productCode, context, L"State");
    return state.empty() ? 0 : static_cast<unsigned>(wcstoul(state.c_str(), nullptr, 10));
}

void ReadPatchRegistration(const std::wstring& patchCode, const std::wstring& productCode,
                           PatchRemovalRecord& removal)
{
    removal.context = 0;
    removal.stateBefore = 0;
    removal.uninstallable.clear();
    for (const int context : kRegistrationContexts) {
        const unsigned state = ReadPatchState(patchCode, productCode, context);
        if (state == 0)
            continue;
        removal.context = context;
        removal.stateBefore = state;
        removal.uninstallable = ReadPatchProperty(patchCode, productCode, context, L"Uninstallable");
        return;
    }
}

bool InstalledForAnotherUserOnly(const std::wstring& productCode)
{
    return msi_api::QueryProductState(productCode.c_str()) == kInstallStateAbsent;
}
