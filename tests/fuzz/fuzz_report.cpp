// The text of the /i report: one patch's report and the blocks of the
// present slots, from arbitrary field values.
//
// Input fields: products, target versions, upgrade version, OS name, OS
// version (four numbers), the report so far, a slot mask (character n-1 for
// slot n: odd means present, bit 1 readable, bit 2 a name and report taken
// from the following fields instead of the real ones), then those fields.

#include "fuzz_input.h"

#include "diagnostics/report.h"
#include "payload/patch_slots.h"

namespace {

const std::wstring kSeparator = L"\n\n-----------------------------------------------\n\n";

size_t Count(const std::wstring& text, const std::wstring& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}

std::vector<std::wstring> SplitAt(const std::wstring& text, wchar_t c)
{
    std::vector<std::wstring> parts(1);
    for (wchar_t x : text) {
        if (x == c)
            parts.emplace_back();
        else
            parts.back() += x;
    }
    return parts;
}

// Consumes `expected` from `text` at `at`.
void Expect(const std::wstring& text, size_t& at, const std::wstring& expected)
{
    FUZZ_CHECK(text.compare(at, expected.size(), expected) == 0);
    at += expected.size();
}

void CheckPatchReport(const PatchReportFields& fields, const std::wstring& report)
{
    size_t at = 0;
    Expect(report, at, L"Products:\n");
    // The codes one per line: every semicolon becomes a line feed.
    FUZZ_CHECK(report.size() >= at + fields.products.size());
    for (wchar_t c : fields.products) {
        FUZZ_CHECK(report[at] == (c == L';' ? L'\n' : c));
        ++at;
    }
    Expect(report, at, L"\nTarget:\n\t");
    Expect(report, at, fields.targetVersions);
    Expect(report, at, L"\nUpgrade:\n\t");
    Expect(report, at, fields.upgradeVersion);
    Expect(report, at, L"\nOSInfo:\n\t");
    Expect(report, at, fields.osName);
    Expect(report, at, L"(" + FormatVersion(fields.osVersion) + L")");
    FUZZ_CHECK(at == report.size());

    const bool singleLines = fields.products.find(L'\n') == std::wstring::npos &&
                             fields.targetVersions.find(L'\n') == std::wstring::npos &&
                             fields.upgradeVersion.find(L'\n') == std::wstring::npos &&
                             fields.osName.find(L'\n') == std::wstring::npos;
    if (!singleLines)
        return;
    const std::vector<std::wstring> lines = SplitAt(report, L'\n');
    const std::vector<std::wstring> codes = SplitAt(fields.products, L';');
    FUZZ_CHECK(lines.size() == 7 + codes.size());
    FUZZ_CHECK(lines[0] == L"Products:");
    for (size_t i = 0; i < codes.size(); ++i)
        FUZZ_CHECK(lines[1 + i] == codes[i]);
    const size_t tail = 1 + codes.size();
    FUZZ_CHECK(lines[tail] == L"Target:");
    FUZZ_CHECK(lines[tail + 1] == L"\t" + fields.targetVersions);
    FUZZ_CHECK(lines[tail + 2] == L"Upgrade:");
    FUZZ_CHECK(lines[tail + 3] == L"\t" + fields.upgradeVersion);
    FUZZ_CHECK(lines[tail + 4] == L"OSInfo:");
    FUZZ_CHECK(fuzz::StartsWith(lines[tail + 5], L"\t" + fields.osName + L"("));
    FUZZ_CHECK(fuzz::EndsWith(lines[tail + 5], L")"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::wstring> fields = fuzz::Fields(data, size);
    PatchReportFields patch;
    patch.products = fuzz::FieldOrEmpty(fields, 0);
    patch.targetVersions = fuzz::FieldOrEmpty(fields, 1);
    patch.upgradeVersion = fuzz::FieldOrEmpty(fields, 2);
    patch.osName = fuzz::FieldOrEmpty(fields, 3);
    const std::vector<std::uint32_t> numbers = fuzz::Numbers(fuzz::FieldOrEmpty(fields, 4));
    patch.osVersion = VersionQuad(fuzz::NumberOrZero(numbers, 0), fuzz::NumberOrZero(numbers, 1),
                                  fuzz::NumberOrZero(numbers, 2), fuzz::NumberOrZero(numbers, 3));
    const std::wstring patchReport = FormatPatchReport(patch);
    CheckPatchReport(patch, patchReport);

    const std::wstring prior = fuzz::FieldOrEmpty(fields, 5);
    const std::wstring mask = fuzz::FieldOrEmpty(fields, 6);
    size_t nextField = 7;

    std::wstring report = prior;
    std::vector<std::wstring> blocks;
    for (int slot = 1; slot <= kPatchSlotCount; ++slot) {
        const size_t n = static_cast<size_t>(slot - 1);
        const wchar_t bits = n < mask.size() ? mask[n] : 0;
        if ((bits & 1) == 0)
            continue;
        std::wstring name = PatchResourceName(slot);
        std::wstring text = (bits & 2) != 0 ? patchReport : std::wstring();
        if ((bits & 4) != 0) {
            name = fuzz::FieldOrEmpty(fields, nextField++);
            text = fuzz::FieldOrEmpty(fields, nextField++);
        }
        const std::wstring before = report;
        AppendReportBlock(report, name, text);
        // Each block adds exactly its name, a line feed, its text and the separator.
        FUZZ_CHECK(report == before + name + L"\n" + text + kSeparator);
        blocks.push_back(name + L"\n" + text);
    }
    FUZZ_CHECK(fuzz::StartsWith(report, prior));

    // Where no text holds a dash run of its own, the separators alone give
    // the block count and cut the report back into its blocks.
    const std::wstring added = report.substr(prior.size());
    bool dashFree = true;
    for (const std::wstring& block : blocks)
        dashFree = dashFree && block.find(L"--") == std::wstring::npos;
    if (!dashFree)
        return 0;
    FUZZ_CHECK(Count(added, kSeparator) == blocks.size());
    size_t at = 0;
    for (const std::wstring& block : blocks) {
        const size_t end = added.find(kSeparator, at);
        FUZZ_CHECK(end != std::wstring::npos);
        FUZZ_CHECK(added.substr(at, end - at) == block);
        at = end + kSeparator.size();
    }
    FUZZ_CHECK(at == added.size());
    return 0;
}
