#include "kit_installer_win.h"

#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <vector>

#include "kit_files_win.h"
#include "text_win.h"

namespace {

std::wstring PropertyOf(MSIHANDLE database, const wchar_t* name)
{
    const std::wstring query = std::wstring(L"SELECT `Value` FROM `Property` WHERE `Property` = '") + name + L"'";
    MSIHANDLE view = 0, record = 0;
    std::wstring value;
    if (MsiDatabaseOpenViewW(database, query.c_str(), &view) == ERROR_SUCCESS &&
        MsiViewExecute(view, 0) == ERROR_SUCCESS && MsiViewFetch(view, &record) == ERROR_SUCCESS) {
        DWORD size = 0;
        wchar_t none[1] = {};
        if (MsiRecordGetStringW(record, 1, none, &size) == ERROR_MORE_DATA) {
            std::vector<wchar_t> buffer(size + 1);
            size = static_cast<DWORD>(buffer.size());
            if (MsiRecordGetStringW(record, 1, buffer.data(), &size) == ERROR_SUCCESS)
                value.assign(buffer.data(), size);
        }
    }
    if (record) MsiCloseHandle(record);
    if (view) MsiCloseHandle(view);
    return value;
}

// The current user's own products: a null user SID.
MSIINSTALLCONTEXT ContextOf(const KitProduct& product)
{
    return product.perUser ? MSIINSTALLCONTEXT_USERUNMANAGED : MSIINSTALLCONTEXT_MACHINE;
}

// The code of the INDEXth patch applied, empty when there is none.
std::wstring AppliedPatch(const KitProduct& product, DWORD index)
{
    wchar_t patch[39] = {};
    if (MsiEnumPatchesExW(product.code.c_str(), nullptr, ContextOf(product), MSIPATCHSTATE_APPLIED, index, patch,
                          nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return std::wstring();
    return patch;
}

}  // namespace

bool ReadKitProduct(const std::wstring& package, bool perUser, KitProduct& product)
{
    MSIHANDLE database = 0;
    if (MsiOpenDatabaseW(package.c_str(), MSIDBOPEN_READONLY, &database) != ERROR_SUCCESS) return false;
    product.package = package;
    product.perUser = perUser;
    product.code = PropertyOf(database, L"ProductCode");
    product.name = PropertyOf(database, L"ProductName");
    product.version = PropertyOf(database, L"ProductVersion");
    MsiCloseHandle(database);
    return !product.code.empty() && !product.name.empty() && !product.version.empty();
}

bool IsKnownToInstaller(const std::wstring& code)
{
    return MsiQueryProductStateW(code.c_str()) != INSTALLSTATE_UNKNOWN;
}

std::wstring InstalledVersion(const KitProduct& product)
{
    wchar_t version[64] = {};
    DWORD size = sizeof version / sizeof version[0];
    if (MsiGetProductInfoExW(product.code.c_str(), nullptr, ContextOf(product), INSTALLPROPERTY_VERSIONSTRING, version,
                             &size) != ERROR_SUCCESS)
        return std::wstring();
    return version;
}

std::vector<std::wstring> AppliedPatchCodes(const KitProduct& product)
{
    std::vector<std::wstring> codes;
    for (std::wstring code; !(code = AppliedPatch(product, static_cast<DWORD>(codes.size()))).empty();)
        codes.push_back(code);
    return codes;
}

int AppliedPatchCount(const KitProduct& product) { return static_cast<int>(AppliedPatchCodes(product).size()); }

std::wstring AppliedPatchCode(const KitProduct& product) { return AppliedPatch(product, 0); }

std::wstring AppliedPatchCopy(const KitProduct& product)
{
    wchar_t copy[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (MsiGetPatchInfoExW(AppliedPatchCode(product).c_str(), product.code.c_str(), nullptr, ContextOf(product),
                           INSTALLPROPERTY_LOCALPACKAGE, copy, &size) != ERROR_SUCCESS)
        return std::wstring();
    return copy;
}

std::wstring Msiexec(CaseJob& job, const std::wstring& arguments, DWORD& exitCode)
{
    const std::wstring msiexec = SystemProgram(L"msiexec.exe");
    if (msiexec.empty()) return L"msiexec not found";
    // Every call leaves its verbose log for the kit's evidence.
    const std::wstring log = job.logPrefix.empty()
                                 ? std::wstring()
                                 : L" /l*v \"" + job.logPrefix + std::to_wstring(++job.installerCalls) + L".log\"";
    if (RunInJob(job, msiexec, arguments + L" /qn" + log, exitCode)) return std::wstring();
    return L"msiexec " + arguments +
           (job.timedOut ? L" timed out" : L" did not start: error " + std::to_wstring(GetLastError()));
}

std::wstring InstallFresh(CaseJob& job, const KitProduct& product)
{
    std::wstring why = RemoveProduct(job, product);
    if (!why.empty()) return why;
    DWORD code = 0;
    why = Msiexec(job, L"/i " + Quoted(product.package) + (product.perUser ? L" ALLUSERS=\"\"" : L""), code);
    if (!why.empty()) return why;
    const std::wstring version = InstalledVersion(product);
    if (code != 0 || version != product.version)
        return L"installing " + product.name + L" answered " + std::to_wstring(code) + L", version after [" + version +
               L"], expected " + product.version;
    return std::wstring();
}

std::wstring RemoveProduct(CaseJob& job, const KitProduct& product)
{
    if (!IsKnownToInstaller(product.code)) return std::wstring();
    DWORD code = 0;
    const std::wstring why = Msiexec(job, L"/x " + product.code, code);
    if (!why.empty()) return why;
    if (IsKnownToInstaller(product.code))
        return L"removing " + product.name + L" answered " + std::to_wstring(code) + L" and left it installed";
    return std::wstring();
}
