#include "install/configure.h"

namespace {

std::wstring FileNameSafe(std::wstring name)
{
    for (wchar_t& c : name) {
        if (c < L' ' || std::wstring(L"\\/:*?\"<>|").find(c) != std::wstring::npos)
            c = L'_';
    }
    return name;
}

// Inside a quoted property value the installer reads "" as one quote.
std::wstring QuotedValue(const std::wstring& value)
{
    std::wstring quoted = L"\"";
    for (wchar_t c : value) {
        quoted += c;
        if (c == L'"')
            quoted += L'"';
    }
    return quoted + L'"';
}

} // namespace

std::wstring InstallerLogPath(const std::wstring& folder, const std::wstring& productName, InstallerCall call)
{
    const wchar_t* const suffixes[] = {L" SP install.log", L" SP rollback.log", L" SP uninstall.log"};
    return folder + L'\\' + FileNameSafe(productName) + suffixes[call];
}

std::wstring PatchPropertyString(InstallerCall call, const std::wstring& patches, const std::wstring& filesInUseText)
{
    const std::wstring common = L" REBOOTPROMPT=S FILESINUSETEXT=" + QuotedValue(filesInUseText);
    if (call == kCallInstall)
        return L"PATCH=" + QuotedValue(patches) + common;
    // NRVL_SETUP_EXE is no installer property: the patched products' own
    // setup logic reads it when this wrapper removes a patch. The wrapper
    // only passes it on, as it does the files-in-use text.
    return L"MSIPATCHREMOVE=" + QuotedValue(patches) + common + L" NRVL_SETUP_EXE=1";
}
