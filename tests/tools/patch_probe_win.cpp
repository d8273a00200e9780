// Prints what the wrapper's readers make of a real patch file, read through
// the real installer, so end-to-end tests can compare it with other tools.
//
//   patch_probe versions PATH   result, upgrade and target versions, last error
//   patch_probe products PATH   result and the Template value
//   patch_probe targets PATH    result and one line per installed target
#include "install/installed_targets_win.h"
#include "payload/summary_win.h"

#include "text_win.h"

#include <windows.h>

#include <string>

namespace {

void Print(const std::wstring& text)
{
    print_out(text + L"\n");
}

std::wstring Flag(bool value)
{
    return value ? L"1" : L"0";
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3)
        return 2;
    const std::wstring command = argv[1];
    const std::wstring path = argv[2];
    if (command == L"versions") {
        std::wstring upgrade = L"unchanged";
        std::wstring targets = L"unchanged";
        SetLastError(0);
        const bool ok = ReadPatchVersions(path, upgrade, targets);
        const DWORD error = GetLastError();
        Print(L"result=" + Flag(ok));
        Print(L"upgrade=" + upgrade);
        Print(L"targets=" + targets);
        Print(L"error=" + std::to_wstring(error));
        return 0;
    }
    if (command == L"products") {
        std::wstring products = L"unchanged";
        SetLastError(0);
        const bool ok = ReadPatchProducts(path, products);
        const DWORD error = GetLastError();
        Print(L"result=" + Flag(ok));
        Print(L"products=" + products);
        Print(L"error=" + std::to_wstring(error));
        return 0;
    }
    if (command == L"targets") {
        ProductRecords records;
        SetLastError(0);
        const int result = FindInstalledTargets(path, records);
        const DWORD error = GetLastError();
        Print(L"result=" + std::to_wstring(result));
        Print(L"error=" + std::to_wstring(error));
        for (const auto& record : records) {
            Print(L"record=" + record->productCode + L"|" + record->installedVersion + L"|" +
                  record->productName + L"|" + record->language + L"|" + record->upgradeVersion +
                  L"|" + record->targetVersions + L"|" + record->commandLine);
        }
        return 0;
    }
    return 2;
}
