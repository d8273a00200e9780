// Prints what the wrapper's readers make of a real patch file, so
// end-to-end tests can compare it with other tools: the summary read
// through the real installer, and the targets as the install run finds
// them, from the patch's bytes.
//
//   patch_probe versions PATH   result, upgrade and target versions, last error
//   patch_probe products PATH   result and the Template value
//   patch_probe targets PATH    result (1 unreadable, 2 read), last error and
//                               one line per installed target
//   patch_probe transform PATH NAME
//                               result, then "pidN=value" for each number in
//                               the summary of the patch's transform NAME
#include "install/installed_targets_win.h"
#include "payload/compound_file.h"
#include "payload/summary_info.h"
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

// The numbers of a transform's summary, read from the patch's bytes with
// the wrapper's own compound-file and summary readers: a transform is a
// storage of the patch, with a summary stream of its own.
int PrintTransformSummary(const std::wstring& path, const std::wstring& name)
{
    const std::vector<std::uint8_t> bytes = FileBytes(path);
    CompoundFile file;
    std::uint32_t storage = kNoEntry;
    std::uint32_t stream = kNoEntry;
    std::vector<std::uint8_t> summary;
    SummaryInformation info;
    const bool read = OpenCompoundFile(bytes.data(), bytes.size(), file) &&
                      (storage = FindChild(file, kRootEntry, std::u16string(name.begin(), name.end()))) != kNoEntry &&
                      file.entries[storage].type == kEntryStorage &&
                      (stream = FindChild(file, storage, u"\005SummaryInformation")) != kNoEntry &&
                      ReadStream(file, stream, summary, kMaxSummaryStreamBytes) &&
                      ParseSummaryInformation(summary.data(), summary.size(), info);
    Print(L"result=" + Flag(read));
    if (!read)
        return 0;
    for (unsigned id = 0; id < kSummaryPropertyLimit; ++id) {
        const SummaryProperty& property = info.properties[id];
        if (property.type == kSummaryInt16 || property.type == kSummaryInt32)
            Print(L"pid" + std::to_wstring(id) + L"=" + std::to_wstring(property.number));
    }
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 4 && std::wstring(argv[1]) == L"transform")
        return PrintTransformSummary(argv[2], argv[3]);
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
