// Which products a patch targets and what it does to each: the Keywords
// split, the Template list and the per-product verdict, fed as the install
// run feeds them.
//
// Input fields: Keywords, Template, a presence mask (product n is present
// when character n of it is odd), then the installed version of each present
// product in turn.

#include "fuzz_input.h"

#include "install/decision.h"
#include "install/version.h"
#include "payload/targeting.h"

namespace {

std::vector<std::wstring> CommaEntries(const std::wstring& targets)
{
    std::vector<std::wstring> entries(1);
    for (wchar_t c : targets) {
        if (c == L',')
            entries.emplace_back();
        else
            entries.back() += c;
    }
    return entries;
}

void CheckSplit(const std::wstring& keywords, const std::wstring& sentinel, std::wstring& upgrade,
                std::wstring& targets, bool& split)
{
    upgrade = sentinel;
    targets = sentinel + L"#";
    split = SplitKeywords(keywords, upgrade, targets);
    const size_t semicolon = keywords.find(L';');
    FUZZ_CHECK(split == (semicolon != std::wstring::npos && semicolon != 0));
    if (!split) {
        FUZZ_CHECK(upgrade == sentinel);
        FUZZ_CHECK(targets == sentinel + L"#");
        return;
    }
    FUZZ_CHECK(!upgrade.empty());
    FUZZ_CHECK(upgrade.find(L';') == std::wstring::npos);
    FUZZ_CHECK(upgrade + L";" + targets == keywords);
}

void CheckCodes(const std::wstring& templateValue, const std::vector<std::wstring>& codes)
{
    std::wstring joined;
    for (size_t i = 0; i < codes.size(); ++i) {
        FUZZ_CHECK(!codes[i].empty());
        FUZZ_CHECK(codes[i].find(L';') == std::wstring::npos);
        if (i > 0)
            joined += L';';
        joined += codes[i];
    }
    // The codes are the Template's leading entries, kept exactly; what
    // follows them is nothing, a trailing semicolon, or an empty entry.
    FUZZ_CHECK(fuzz::StartsWith(templateValue, joined));
    const std::wstring rest = templateValue.substr(joined.size());
    if (codes.empty()) {
        FUZZ_CHECK(rest.empty() || rest[0] == L';');
    } else {
        FUZZ_CHECK(rest.empty() || rest == L";" || fuzz::StartsWith(rest, L";;"));
    }
}

void CheckVerdict(const std::wstring& installed, const std::wstring& upgrade, const std::wstring& targets,
                  const std::wstring& extraTargets)
{
    const ProductVerdict verdict = DecideProduct(installed, upgrade, targets);
    FUZZ_CHECK(verdict == kVerdictUpToDate || verdict == kVerdictWrongVersion || verdict == kVerdictApply);

    const VersionQuad have = ParseVersion(installed);
    const bool upToDate = !VersionLess(have, ParseVersion(upgrade));
    FUZZ_CHECK((verdict == kVerdictUpToDate) == upToDate);

    if (!upToDate) {
        bool listed = false;
        for (const std::wstring& entry : CommaEntries(targets)) {
            const VersionQuad target = ParseVersion(entry);
            listed = listed || (target.major == have.major && target.minor == have.minor &&
                                target.build == have.build);
        }
        FUZZ_CHECK((verdict == kVerdictApply) == listed);
    }

    // More target versions never take a match away, and never matter to a
    // product that is up to date.
    const ProductVerdict widened = DecideProduct(installed, upgrade, targets + L"," + extraTargets);
    if (verdict == kVerdictApply || verdict == kVerdictUpToDate)
        FUZZ_CHECK(widened == verdict);
    else
        FUZZ_CHECK(widened != kVerdictUpToDate);

    // The revision of the installed version never decides a match.
    VersionQuad otherRevision = have;
    otherRevision.revision = static_cast<std::uint16_t>(have.revision + 1);
    if (!upToDate && VersionLess(otherRevision, ParseVersion(upgrade))) {
        const ProductVerdict again = DecideProduct(FormatVersion(otherRevision), upgrade, targets);
        FUZZ_CHECK(again == verdict);
    }

    // The installed version at the upgrade version is up to date.
    FUZZ_CHECK(DecideProduct(upgrade, upgrade, targets) == kVerdictUpToDate);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::wstring> fields = fuzz::Fields(data, size);
    const std::wstring keywords = fuzz::FieldOrEmpty(fields, 0);
    const std::wstring templateValue = fuzz::FieldOrEmpty(fields, 1);
    const std::wstring presence = fuzz::FieldOrEmpty(fields, 2);

    std::wstring upgrade;
    std::wstring targets;
    bool split = false;
    CheckSplit(keywords, templateValue, upgrade, targets, split);

    const std::vector<std::wstring> codes = TemplateProductCodes(templateValue);
    CheckCodes(templateValue, codes);
    if (!split)
        return 0;

    size_t nextVersion = 3;
    for (size_t i = 0; i < codes.size(); ++i) {
        const bool present = i < presence.size() && (presence[i] & 1) != 0;
        if (!present)
            continue;
        const std::wstring installed = fuzz::FieldOrEmpty(fields, nextVersion++);
        CheckVerdict(installed, upgrade, targets, codes[i]);
    }
    return 0;
}
