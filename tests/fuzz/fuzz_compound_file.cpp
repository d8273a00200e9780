// The compound-file reader, the summary parser and the readers of a
// patch's tables on any bytes: open, walk every storage, read every
// stream, the summary, the transforms' versions and whether the patch can
// be removed, and the builders' patch checks over all of them. ASan stops any read outside the given bytes.
//
// Input: a compound-file image as it is, or, after a first byte 0, one
// packed so that whole images fit the run's input limit: a byte FE, n, v
// stands for n + 1 bytes v (FE itself is FE 00 FE); any other byte stands
// for itself. The seeds are images from tests/support/compound_file_image,
// a patch made by tests/tools/make_patch, damaged images, and packed forms
// of them. The bytes are also parsed as a summary stream by themselves.

#include "fuzz_input.h"

#include "builder/database_streams.h"
#include "builder/patch_checks.h"
#include "builder/patch_removability.h"
#include "builder/transform_versions.h"
#include "payload/ansi_text.h"
#include "payload/compound_file.h"
#include "payload/summary_info.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t kMaxUnpacked = 4 * 1024 * 1024;

std::vector<std::uint8_t> Unpacked(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < size && out.size() < kMaxUnpacked; ++i) {
        if (data[i] == 0xFE && i + 2 < size) {
            out.insert(out.end(), static_cast<std::size_t>(data[i + 1]) + 1, data[i + 2]);
            i += 2;
        } else {
            out.push_back(data[i]);
        }
    }
    // Exactly as long as its bytes, so that ASan sees the end.
    return std::vector<std::uint8_t>(out.begin(), out.end());
}

bool IsTextProperty(unsigned id)
{
    return (id >= 2 && id <= 9) || id == 18;
}

void CheckSummary(const SummaryInformation& info, bool readable)
{
    for (unsigned id = 0; id < kSummaryPropertyLimit; ++id) {
        const SummaryProperty& property = info.properties[id];
        FUZZ_CHECK(readable || property.type == kSummaryEmpty);
        FUZZ_CHECK(property.type != kSummaryText || IsTextProperty(id));
        FUZZ_CHECK(property.type != kSummaryInt16 || id == kSummaryCodePage);
        FUZZ_CHECK(property.text.find('\0') == std::string::npos);
        FUZZ_CHECK(property.type == kSummaryText || property.text.empty());
    }
}

void CheckStream(const CompoundFile& file, std::uint32_t entry)
{
    const std::uint64_t declared = file.entries[entry].size;
    std::vector<std::uint8_t> whole = {1};
    const bool read = ReadStream(file, entry, whole, SIZE_MAX);
    FUZZ_CHECK(read ? whole.size() == declared : whole.empty());
    if (!read)
        return;
    // A stream never holds more than the file: its chain visits a sector once.
    const std::uint64_t room = declared < 4096 ? file.miniStreamSize
                                               : static_cast<std::uint64_t>(file.sectorCount) * file.sectorSize;
    FUZZ_CHECK(declared <= room);
    std::vector<std::uint8_t> again;
    FUZZ_CHECK(ReadStream(file, entry, again, static_cast<std::size_t>(declared)) && again == whole);
    if (declared > 0)
        FUZZ_CHECK(!ReadStream(file, entry, again, static_cast<std::size_t>(declared - 1)) && again.empty());
}

void Walk(const CompoundFile& file, std::uint32_t storage, unsigned depth, std::vector<bool>& seen)
{
    FUZZ_CHECK(depth <= kMaxStorageDepth);
    std::vector<std::uint32_t> children;
    FUZZ_CHECK(ListChildren(file, storage, children));
    for (std::uint32_t child : children) {
        FUZZ_CHECK(child < file.entries.size() && child != kRootEntry && !seen[child]);
        seen[child] = true;
        const DirectoryEntry& entry = file.entries[child];
        // The lookup descends the tree: a name placed out of order is not
        // found, and of siblings whose names fold alike one answers for all.
        const std::uint32_t found = FindChild(file, storage, entry.name);
        FUZZ_CHECK(found == kNoEntry ||
                   (SameEntryName(file.entries[found].name, entry.name) &&
                    std::find(children.begin(), children.end(), found) != children.end()));
        FUZZ_CHECK(entry.type == kEntryStorage || entry.type == kEntryStream);
        if (entry.type == kEntryStorage)
            Walk(file, child, depth + 1, seen);
        else
            CheckStream(file, child);
    }
}

// A block that starts with the slot, and a refusal whenever there is no
// upgrade line to build from.
void CheckPatchChecks(const std::vector<std::uint8_t>& bytes, bool opened)
{
    BuildReport report;
    CheckPatch(7, L"p", MemorySource(bytes.data(), bytes.size()), report);
    FUZZ_CHECK(report.slotMap.size() >= 2 && report.slotMap[0] == L"slot 7: p");
    FUZZ_CHECK(opened || report.refusals.size() == 1);
    const bool upgradeLine = report.slotMap.back().compare(0, 12, L"  upgrade:  ") == 0;
    FUZZ_CHECK(upgradeLine || !report.refusals.empty());
    for (const std::wstring& text : report.refusals)
        FUZZ_CHECK(text.compare(0, 10, L"slot 7 (p)") == 0);
}

void CheckFile(const std::vector<std::uint8_t>& bytes)
{
    CompoundFile file;
    std::vector<std::wstring> versions = {L"left over"};
    const bool opened = OpenCompoundFile(bytes.data(), bytes.size(), file);
    CheckPatchChecks(bytes, opened);
    if (!opened) {
        FUZZ_CHECK(ReadTransformVersions(bytes.data(), bytes.size(), versions) == kTransformsUnreadable &&
                   versions.empty());
        return;
    }
    FUZZ_CHECK(file.sectorSize == 512 || file.sectorSize == 4096);
    FUZZ_CHECK((static_cast<std::uint64_t>(file.sectorCount) + 1) * file.sectorSize <= bytes.size());
    FUZZ_CHECK(file.entries[kRootEntry].type == kEntryRoot);
    std::vector<bool> seen(file.entries.size(), false);
    Walk(file, kRootEntry, 1, seen);

    SummaryInformation info;
    const bool readable = ReadSummaryInformation(file, info);
    CheckSummary(info, true);
    for (unsigned id = 0; id <= kSummaryPropertyLimit; ++id) {
        std::wstring text = L"sentinel";
        const SummaryTextResult result = ReadSummaryText(file, id, text, WidenAnsiText);
        FUZZ_CHECK((result == kSummaryUnreadable) == !readable);
        if (result == kSummaryTextPresent) {
            FUZZ_CHECK(info.properties[id].type == kSummaryText);
            FUZZ_CHECK(text.size() == info.properties[id].text.size());
        } else {
            FUZZ_CHECK(text == L"sentinel");
            FUZZ_CHECK(!readable || id >= kSummaryPropertyLimit || info.properties[id].type != kSummaryText);
        }
    }
    HasPackageClass(file);

    const TransformVersionsResult told = ReadTransformVersions(file, versions);
    FUZZ_CHECK(told == kTransformVersionsRead || versions.empty());
    FUZZ_CHECK(versions.size() <= kMaxTransformVersions);
    for (const std::wstring& version : versions)
        FUZZ_CHECK(version.size() <= kMaxVersionLength);
    std::vector<std::wstring> fromBytes;
    FUZZ_CHECK(ReadTransformVersions(bytes.data(), bytes.size(), fromBytes) == told && fromBytes == versions);

    // Without the table nothing lets the patch be removed.
    FUZZ_CHECK(ReadPatchRemovability(file) == kPatchNotRemovable ||
               FindTableStream(file, kRootEntry, "MsiPatchMetadata") != kNoEntry);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::uint8_t> bytes =
        size > 0 && data[0] == 0 ? Unpacked(data + 1, size - 1) : std::vector<std::uint8_t>(data, data + size);
    CheckFile(bytes);

    SummaryInformation info;
    info.properties[5].type = kSummaryText;
    CheckSummary(info, ParseSummaryInformation(bytes.data(), bytes.size(), info));
    return 0;
}
