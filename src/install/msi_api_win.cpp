#include "install/msi_api.h"

#include "shared/dll_search_win.h"

#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <objbase.h>

#include <vector>

namespace {

struct InstallerFunctions {
    decltype(&MsiGetSummaryInformationW) getSummaryInformation = nullptr;
    decltype(&MsiSummaryInfoGetPropertyW) summaryInfoGetProperty = nullptr;
    decltype(&MsiCloseHandle) closeHandle = nullptr;
    decltype(&MsiQueryProductStateW) queryProductState = nullptr;
    decltype(&MsiGetProductInfoW) getProductInfo = nullptr;
    decltype(&MsiGetProductInfoExW) getProductInfoEx = nullptr;
    decltype(&MsiEnumPatchesExW) enumPatchesEx = nullptr;
    decltype(&MsiGetPatchInfoExW) getPatchInfoEx = nullptr;
    decltype(&MsiEnableLogW) enableLog = nullptr;
    decltype(&MsiSetInternalUI) setInternalUI = nullptr;
    decltype(&MsiConfigureProductExW) configureProductEx = nullptr;
    decltype(&StgOpenStorage) openStorage = nullptr;
};

template <typename Function>
void Resolve(HMODULE module, const char* name, Function& function)
{
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const InstallerFunctions& Installer()
{
    static const InstallerFunctions functions = [] {
        InstallerFunctions resolved;
        // ole32.dll serves the one function that opens a summary's storage:
        // no import for it, and msi.dll has loaded it anyway.
        HMODULE storage = LoadSystemLibrary(L"ole32.dll");
        if (storage != nullptr)
            Resolve(storage, "StgOpenStorage", resolved.openStorage);
        // msi.dll is not a known DLL: a plain LoadLibrary from an elevated
        // program would pick up an msi.dll planted beside it or in the current folder.
        HMODULE module = LoadSystemLibrary(L"msi.dll");
        if (module == nullptr)
            return resolved;
        Resolve(module, "MsiGetSummaryInformationW", resolved.getSummaryInformation);
        Resolve(module, "MsiSummaryInfoGetPropertyW", resolved.summaryInfoGetProperty);
        Resolve(module, "MsiCloseHandle", resolved.closeHandle);
        Resolve(module, "MsiQueryProductStateW", resolved.queryProductState);
        Resolve(module, "MsiGetProductInfoW", resolved.getProductInfo);
        Resolve(module, "MsiGetProductInfoExW", resolved.getProductInfoEx);
        Resolve(module, "MsiEnumPatchesExW", resolved.enumPatchesEx);
        Resolve(module, "MsiGetPatchInfoExW", resolved.getPatchInfoEx);
        Resolve(module, "MsiEnableLogW", resolved.enableLog);
        Resolve(module, "MsiSetInternalUI", resolved.setInternalUI);
        Resolve(module, "MsiConfigureProductExW", resolved.configureProductEx);
        return resolved;
    }();
    return functions;
}

// A damaged compound file can bring the installer's summary reader down
// (seen under Wine with a truncated patch). The structured-storage reader
// refuses such files cleanly, so the summary stream is read through it
// first: the file must open and the whole stream must be there. Such a file
// gets the answer the installer gives for an unreadable package.
bool IsSummaryStreamReadable(const wchar_t* path)
{
    const auto openStorage = Installer().openStorage;
    IStorage* storage = nullptr;
    if (openStorage == nullptr ||
        FAILED(openStorage(path, nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, &storage)))
        return false;
    IStream* stream = nullptr;
    bool readable = false;
    if (SUCCEEDED(storage->OpenStream(L"\005SummaryInformation", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0,
                                      &stream))) {
        STATSTG status = {};
        if (SUCCEEDED(stream->Stat(&status, STATFLAG_NONAME)) && status.cbSize.QuadPart <= kMaxSummaryStreamBytes) {
            std::vector<char> bytes(static_cast<size_t>(status.cbSize.QuadPart) + 1);
            ULONG read = 0;
            readable = SUCCEEDED(stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read)) &&
                       read == status.cbSize.QuadPart;
        }
        stream->Release();
    }
    storage->Release();
    return readable;
}

} // namespace

namespace msi_api {

unsigned GetSummaryInformation(const wchar_t* path, MsiHandle* handle)
{
    const auto function = Installer().getSummaryInformation;
    if (function == nullptr)
        return ERROR_INSTALL_SERVICE_FAILURE;
    if (!IsSummaryStreamReadable(path))
        return ERROR_INSTALL_PACKAGE_INVALID;
    MSIHANDLE opened = 0;
    const UINT result = function(0, path, 0, &opened);
    *handle = opened;
    return result;
}

unsigned SummaryInfoGetProperty(MsiHandle handle, unsigned property, wchar_t* buffer,
                                std::uint32_t* length)
{
    const auto function = Installer().summaryInfoGetProperty;
    if (function == nullptr)
        return ERROR_INSTALL_SERVICE_FAILURE;
    UINT type = 0;
    INT number = 0;
    FILETIME time = {};
    DWORD size = *length;
    const UINT result = function(handle, property, &type, &number, &time, buffer, &size);
    *length = size;
    return result;
}

unsigned CloseHandle(MsiHandle handle)
{
    const auto function = Installer().closeHandle;
    return function == nullptr ? ERROR_INVALID_HANDLE : function(handle);
}

int QueryProductState(const wchar_t* productCode)
{
    const auto function = Installer().queryProductState;
    return function == nullptr ? INSTALLSTATE_UNKNOWN : function(productCode);
}

unsigned GetProductInfo(const wchar_t* productCode, const wchar_t* property, wchar_t* buffer,
                        std::uint32_t* length)
{
    const auto function = Installer().getProductInfo;
    if (function == nullptr)
        return ERROR_INSTALL_SERVICE_FAILURE;
    DWORD size = *length;
    const UINT result = function(productCode, property, buffer, &size);
    *length = size;
    return result;
}

unsigned GetProductInfoEx(const wchar_t* productCode, int context, const wchar_t* property, wchar_t* buffer,
                          std::uint32_t* length)
{
    const auto function = Installer().getProductInfoEx;
    if (function == nullptr)
        return ERROR_INSTALL_SERVICE_FAILURE;
    DWORD size = *length;
    const UINT result =
        function(productCode, nullptr, static_cast<MSIINSTALLCONTEXT>(context), property, buffer, &size);
    *length = size;
    return result;
}

unsigned EnumPatchesEx(const wchar_t* productCode, int context, unsigned filter, unsigned index, wchar_t* patchCode,
                       int* patchContext)
{
    const auto function = Installer().enumPatchesEx;
    if (function == nullptr)
        return ERROR_INSTALL_SERVICE_FAILURE;
    // The target user's SID is not wanted, but a buffer is given for it: a
    // SID string is far shorter than this.
    wchar_t targetProduct[39];
    wchar_t targetSid[256];
    DWORD sidChars = 256;
    MSIINSTALLCONTEXT targetContext = MSIINSTALLCONTEXT_NONE;
    const UINT result = function(productCode, nullptr, context, filter, index, patchCode, targetProduct,
                                 &targetContext, targetSid, &sidChars);
    *patchContext = targetContext;
    return result;
}

unsigned GetPatchInfoEx(const wchar_t* patchCode, const wchar_t* productCode, int context, const wchar_t* property,
                        wchar_t* buffer, std::uint32_t* length)
{
    const auto function = Installer().getPatchInfoEx;
    if (function == nullptr)
        return ERROR_INSTALL_SERVICE_FAILURE;
    DWORD size = *length;
    const UINT result = function(patchCode, productCode, nullptr, static_cast<MSIINSTALLCONTEXT>(context), property,
                                 buffer, &size);
    *length = size;
    return result;
}

unsigned EnableLog(std::uint32_t logMode, const wchar_t* logFile, std::uint32_t attributes)
{
    const auto function = Installer().enableLog;
    return function == nullptr ? ERROR_INSTALL_SERVICE_FAILURE : function(logMode, logFile, attributes);
}

int SetInternalUI(int level)
{
    const auto function = Installer().setInternalUI;
    if (function == nullptr)
        return INSTALLUILEVEL_NOCHANGE;
    return function(static_cast<INSTALLUILEVEL>(level), nullptr);
}

unsigned ConfigureProductEx(const wchar_t* productCode, int installLevel, int installState,
                            const wchar_t* commandLine)
{
    const auto function = Installer().configureProductEx;
    if (function == nullptr)
        return ERROR_INSTALL_SERVICE_FAILURE;
    return function(productCode, installLevel, static_cast<INSTALLSTATE>(installState), commandLine);
}

} // namespace msi_api
