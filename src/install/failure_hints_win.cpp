#include "install/failure_hints_win.h"

#include "install/cache_repair.h"
#include "install/failure_hints.h"
#include "install/installer_busy.h"
#include "install/msi_api.h"
#include "payload/temp_folder_win.h"

#include <windows.h>

#include <cwchar>
#include <vector>

namespace {

constexpr std::uint32_t kPathChars = 1024;
constexpr unsigned kPatchCodeChars = 39;

// The contexts in the order Wine's installer searches them for a product
// named without one (msi_locate_product: managed per-user, per-machine,
// unmanaged per-user). QueryProductState, GetProductInfo and
// ConfigureProductEx name none here, so the first context that knows the
// product is taken for the instance they see. The wrapper runs elevated and
// in practice patches per-machine products, which only the per-machine
// context knows: the order matters only for a product installed twice.
constexpr int kProductContexts[] = {kContextUserManaged, kContextMachine, kContextUserUnmanaged};

// The path in `buffer` after a successful query; empty after any other answer.
std::wstring PathAnswered(unsigned result, const wchar_t* buffer)
{
    return result == kMsiSuccess ? std::wstring(buffer, wcsnlen(buffer, kPathChars)) : std::wstring();
}

// Without its cached package the installer asks for the original media,
// which an unattended run does not have; so for every patch applied.
void AddPackageHints(ProductRecord& record)
{
    const wchar_t* code = record.productCode.c_str();
    wchar_t buffer[kPathChars];
    for (const int context : kProductContexts) {
        std::uint32_t length = kPathChars;
        const unsigned answer = msi_api::GetProductInfoEx(code, context, L"LocalPackage", buffer, &length);
        if (answer != kMsiSuccess)
            continue;
        const std::wstring package = PathAnswered(answer, buffer);
        if (PackageFileMissing(package))
            record.hints.push_back({kHintProductPackageMissing, package});
        wchar_t patchCode[kPatchCodeChars] = L"";
        int patchContext = context;
        for (unsigned index = 0; msi_api::EnumPatchesEx(code, context, kPatchStateApplied, index, patchCode,
                                                        &patchContext) == kMsiSuccess;
             ++index) {
            length = kPathChars;
            const std::wstring patchPackage = PathAnswered(
                msi_api::GetPatchInfoEx(patchCode, code, patchContext, L"LocalPackage", buffer, &length), buffer);
            if (PackageFileMissing(patchPackage))
                record.hints.push_back({kHintPatchPackageMissing, std::wstring(patchCode) + L" " + patchPackage});
        }
        return;
    }
}

// The free bytes this account may use on the volume of `folder`, read from
// the nearest folder of the path that exists (none is created), and the
// volume's root in `volume`; false when nothing can be read.
bool FreeBytesOn(std::wstring folder, std::uint64_t& freeBytes, std::wstring& volume)
{
    while (!DirectoryExists(folder)) {
        const size_t separator = folder.find_last_of(L'\\');
        if (separator == std::wstring::npos)
            return false;
        folder.erase(separator);
    }
    ULARGE_INTEGER available = {};
    if (!GetDiskFreeSpaceExW((folder + L"\\").c_str(), &available, nullptr, nullptr))
        return false;
    freeBytes = available.QuadPart;
    wchar_t root[MAX_PATH];
    volume = GetVolumePathNameW(folder.c_str(), root, MAX_PATH) ? root : folder;
    return true;
}

void AddSpaceHintFor(ProductRecord& record, FailureHintKind kind, const std::wstring& folder,
                     std::uint64_t neededBytes)
{
    std::uint64_t freeBytes = 0;
    std::wstring volume;
    if (!folder.empty() && FreeBytesOn(folder, freeBytes, volume))
        AddSpaceHint(record.hints, kind, volume, freeBytes, neededBytes);
}

// The 64-bit view even from the x86 wrapper, whose reads of SOFTWARE would
// otherwise go to WOW6432Node, where these keys are not
// (https://learn.microsoft.com/windows/win32/winprog64/accessing-an-alternate-registry-view).
constexpr REGSAM kReadMachineView = KEY_READ | KEY_WOW64_64KEY;

bool KeyExists(const wchar_t* path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, kReadMachineView, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// Present and holding at least one character that is not a terminator.
bool ValueSet(const wchar_t* path, const wchar_t* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, kReadMachineView, &key) != ERROR_SUCCESS)
        return false;
    DWORD bytes = 0;
    std::vector<wchar_t> data;
    LSTATUS status = RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &bytes);
    if (status == ERROR_SUCCESS) {
        data.resize(bytes / sizeof(wchar_t) + 1);
        status = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &bytes);
        data.resize(bytes / sizeof(wchar_t));
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return false;
    for (const wchar_t character : data) {
        if (character != L'\0')
            return true;
    }
    return false;
}

void AddRestartHints(ProductRecord& record)
{
    const wchar_t* const keys[] = {
        L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Component Based Servicing\\RebootPending",
        L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WindowsUpdate\\Auto Update\\RebootRequired",
    };
    for (const wchar_t* key : keys) {
        if (KeyExists(key))
            record.hints.push_back({kHintRestartPending, std::wstring(L"HKLM\\") + key});
    }
    const wchar_t sessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
    const wchar_t renames[] = L"PendingFileRenameOperations";
    if (ValueSet(sessionManager, renames))
        record.hints.push_back({kHintRestartPending, std::wstring(L"HKLM\\") + sessionManager + L"\\" + renames});
}

} // namespace

// The system folder of the machine, not a terminal-server user's own
// Windows folder: the installer caches patches under it
// (https://learn.microsoft.com/windows/win32/api/sysinfoapi/nf-sysinfoapi-getsystemwindowsdirectoryw).
std::wstring SystemWindowsFolder()
{
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemWindowsDirectoryW(folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(folder, length) : std::wstring();
}

// Only "not found" counts: a package the wrapper may not read is still there.
bool PackageFileMissing(const std::wstring& path)
{
    if (path.empty() || GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return false;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

void LookUpFailureHints(ProductRecord& record, std::uint64_t patchSize)
{
    record.hints.clear();
    AddPackageHints(record);
    FoldPutBacksIntoHints(record.hints, record.putBacks);
    AddSpaceHintFor(record, kHintCopiesVolumeLow, TempCopyFolder(), patchSize);
    AddSpaceHintFor(record, kHintSystemVolumeLow, SystemWindowsFolder(), 2 * patchSize);
    if (installer_busy::ExecutionMutexHeld())
        record.hints.push_back({kHintInstallerBusy, L"the mutex Global\\_MSIExecute is held"});
    AddRestartHints(record);
}
