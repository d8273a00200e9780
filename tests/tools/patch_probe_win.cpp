// Prints what the wrapper's readers make of a real patch file, so
// end-to-end tests can compare it with other tools: the summary read
// through the real installer, and the targets as the install run finds
// them, from the patch's bytes.
//
//   patch_probe versions PATH   result, upgrade and target versions, last error
//   patch_probe products PATH   result and the Template value
//   patch_probe targets PATH    result (1 unreadable, 2 read), last error and
//                               one line per installed target
#include "install/installed_targets_win.h"
#include "payload/summary_win.h"

#include "text_win.h"

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> FileBytes(const std::wstring& path)
{
    std::ifstream file(path.c_str(), std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

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
        const std::vector<std::uint8_t> bytes = FileBytes(path);
        PatchTargeting targeting;
        ProductRecords records;
        SetLastError(0);
        const bool read = ReadEmbeddedTargeting({bytes.data(), bytes.size()}, targeting);
        const DWORD error = GetLastError();
        if (read)
            FindInstalledTargets(targeting, records);
        Print(L"result=" + std::to_wstring(read ? 2 : 1));
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
