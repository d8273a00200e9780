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

std::wstring InstallerLogPath(const std::wstring& folder, const std::wstring& productName, bool remove)
{
    return folder + L'\\' + FileNameSafe(productName) + (remove ? L" SP rollback.log" : L" SP install.log");
}

std::wstring PatchPropertyString(const std::wstring& patchPath, const std::wstring& filesInUseText,
                                 bool remove)
{
    if (remove) {
        // NRVL_SETUP_EXE is no installer property: the patched products' own
        // setup logic reads it when this wrapper removes a patch. The
        // wrapper only passes it on, as it does the files-in-use text.
        return L"MSIPATCHREMOVE=" + QuotedValue(patchPath) +
               L" REBOOTPROMPT=S FILESINUSETEXT=" + QuotedValue(filesInUseText) + L" NRVL_SETUP_EXE=1";
    }
    return L"PATCH=" + QuotedValue(patchPath) + L" REBOOTPROMPT=S FILESINUSETEXT=" +
           QuotedValue(filesInUseText);
}
