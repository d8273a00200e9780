#include "builder/patch_checks.h"

#include "builder/transform_versions.h"
#include "install/msi_api.h"
#include "install/version.h"
#include "payload/compound_file.h"
#include "payload/summary_info.h"
#include "payload/targeting.h"
#include "shared/ascii_case.h"

namespace {

std::wstring Joined(const std::vector<std::wstring>& parts)
{
    std::wstring text;
    for (const std::wstring& part : parts)
        text += (text.empty() ? L"" : L", ") + part;
    return text;
}

std::wstring Quoted(const std::wstring& text)
{
    return L"\"" + text + L"\"";
}

const wchar_t kAppliedAgain[] = L"the wrapper would apply the patch again on every run, and ";
const wchar_t kRollbackMisses[] = L"a rollback would look for the patched products at the wrong version";

// What all the checks of one patch may read of it together. A real
// patch's header, allocation tables, directory, summary and tables take
// kilobytes to a few megabytes (its cabinet is never read); a hostile one
// could send the readers over the same sectors again and again, as a
// thousand transforms sharing one table's sectors do. Once a read would
// pass it, that read and every later one fail, and the checks that could
// not read what they needed say so.
constexpr std::uint64_t kCheckReadBudget = 32 << 20;

struct ReadBudget {
    ByteSource patch;
    std::uint64_t left = kCheckReadBudget;
    bool spent = false;
};

bool ReadWithinBudget(void* context, std::uint64_t offset, std::uint8_t* out, std::size_t size)
{
    ReadBudget& budget = *static_cast<ReadBudget*>(context);
    if (size > budget.left) {
        budget.left = 0;
        budget.spent = true;
        return false;
    }
    budget.left -= size;
    return budget.patch.read(budget.patch.context, offset, out, size);
}

std::wstring BudgetSpent()
{
    return L"the checks stopped at " + std::to_wstring(kCheckReadBudget >> 20) + L" MB, all they read of one patch";
}

struct SlotCheck {
    int slot;
    std::wstring where;  // "slot N (PATH)"
    BuildReport& report;
    const ReadBudget& budget;
};

void Warn(SlotCheck& check, const std::wstring& text)
{
    check.report.warnings.push_back({check.slot, check.where, text});
}

// The version as written, and how the wrapper reads it when it reads it
// otherwise; `what` names it in the warning.
std::wstring Described(SlotCheck& check, const std::wstring& version, const wchar_t* what)
{
    if (VersionHasFourParts(version))
        return version;
    const std::wstring read = FormatVersion(ParseVersion(version));
    Warn(check, what + (L" " + Quoted(version)) + L" has fewer than four parts; the wrapper reads it as " + read);
    return version + L" (reads as " + read + L")";
}

// Where the transforms move the product, against the Keywords' upgrade
// version: the wrapper takes a product at or above the upgrade version as
// patched, and a rollback removes the patch where the product stands at
// exactly that version.
std::wstring TransformsLine(SlotCheck& check, const CompoundFile& file, const std::wstring& upgrade)
{
    const std::wstring cannotTell = L"the transforms' version: cannot tell";
    std::vector<std::wstring> versions;
    switch (ReadTransformVersions(file, versions)) {
    case kTransformVersionsRead:
        break;
    case kTransformsUnreadable:
        return check.budget.spent ? cannotTell + L" (" + BudgetSpent() + L")" : cannotTell;
    case kTooManyTransforms:
        return cannotTell + L" (the patch holds more than " + std::to_wstring(kMaxTransforms) + L" transforms)";
    case kTooManyVersions:
        return cannotTell + L" (they set more than " + std::to_wstring(kMaxTransformVersions) + L" versions)";
    case kVersionTooLong:
        return cannotTell + L" (they set a version longer than " + std::to_wstring(kMaxVersionLength) +
               L" characters)";
    }
    if (versions.empty()) {
        // Read whole, and none of them sets ProductVersion: the product
        // keeps its version, below the upgrade version.
        Warn(check, L"the patch's transforms do not change the product's version; " + std::wstring(kAppliedAgain) +
                        kRollbackMisses);
        return L"the transforms leave the product's version as it is";
    }
    const VersionQuad upgradeRead = ParseVersion(upgrade);
    for (const std::wstring& version : versions) {
        const VersionQuad moved = ParseVersion(version);
        if (VersionEqual(moved, upgradeRead))
            continue;
        // Below the upgrade version, the product still looks unpatched.
        const std::wstring again = VersionLess(moved, upgradeRead) ? kAppliedAgain : L"";
        Warn(check, L"the Keywords' upgrade version " + upgrade + L" differs from " + version +
                        L", the version the patch's transforms move the product to; " + again + kRollbackMisses);
    }
    return L"the transforms move the product to " + Joined(versions);
}

// A patch the installer will not remove stays until its products are
// uninstalled: a rollback of the run cannot take it back either.
PatchRemovability RemovalOf(SlotCheck& check, const CompoundFile& file)
{
    const PatchRemovability removal = ReadPatchRemovability(file);
    if (removal == kPatchNotRemovable)
        Warn(check, L"the patch cannot be removed once applied: it has no MsiPatchMetadata table with AllowRemoval "
                    L"1; only uninstalling the product removes it");
    else if (removal == kRemovabilityUnknown)
        Warn(check, L"cannot tell whether the patch can be removed once applied: its MsiPatchMetadata table cannot "
                    L"be read");
    return removal;
}

} // namespace

void CheckPatch(int slot, const std::wstring& path, const ByteSource& patch, BuildReport& report)
{
    ReadBudget budget;
    budget.patch = patch;
    ByteSource source;
    source.read = ReadWithinBudget;
    source.context = &budget;
    source.size = patch.size;
    SlotCheck check{slot, L"slot " + std::to_wstring(slot) + L" (" + path + L")", report, budget};
    report.slotMap.push_back(L"slot " + std::to_wstring(slot) + L": " + path);
    CompoundFile file;
    std::wstring keywords, templateValue;
    const SummaryTextResult keywordsRead = OpenCompoundFile(source, file)
                                               ? ReadSummaryText(file, kSummaryKeywords, keywords, nullptr)
                                               : kSummaryUnreadable;
    if (keywordsRead == kSummaryUnreadable) {
        report.refusals.push_back(check.where + L": " +
                                  (budget.spent ? BudgetSpent() + L", before its summary; a Windows Installer patch "
                                                                   L"needs a small part of that"
                                                : L"its summary information cannot be read; it is not a Windows "
                                                  L"Installer patch"));
        report.slotMap.push_back(L"  summary: unreadable");
        return;
    }
    if (!HasPackageClass(file)) {
        // The installer refuses such a file before it reads the summary.
        report.refusals.push_back(check.where +
                                  L": it is no Windows Installer package (its root storage has no installer "
                                  L"class), so the wrapper cannot read it");
        report.slotMap.push_back(L"  summary: no installer package");
        return;
    }
    ReadSummaryText(file, kSummaryTemplate, templateValue, nullptr);

    const bool hasKeywords = keywordsRead == kSummaryTextPresent;
    std::wstring upgrade, targets;
    const bool split = hasKeywords && SplitKeywords(keywords, upgrade, targets);
    const wchar_t* const needed = L"\"upgradeVersion;targetVersion,...\"";
    if (!hasKeywords)
        report.refusals.push_back(check.where + L": it has no Keywords; the wrapper needs " + needed + L" there");
    else if (keywords.find(L';') == std::wstring::npos)
        report.refusals.push_back(check.where + L": its Keywords " + Quoted(keywords) +
                                  L" have no ';'; the wrapper needs " + needed);
    else if (!split)
        report.refusals.push_back(check.where + L": its Keywords " + Quoted(keywords) +
                                  L" begin with ';', so there is no upgrade version");

    if (templateValue.empty())
        report.refusals.push_back(check.where +
                                  L": its Template is empty or absent, so the wrapper would find no product to patch");
    else if (templateValue[0] == L';')
        report.refusals.push_back(check.where + L": its Template " + Quoted(templateValue) +
                                  L" begins with ';', so the wrapper would find no product to patch");
    const std::vector<std::wstring> products = TemplateProductCodes(templateValue);
    const PatchRemovability removal = RemovalOf(check, file);
    if (!products.empty()) {
        report.checkedSlots.push_back({slot, check.where, PatchCodeOf(file), products, upgrade,
                                       split ? SplitTargetVersions(targets) : std::vector<std::wstring>(), removal});
    }
    report.slotMap.push_back(L"  products: " + (products.empty() ? std::wstring(L"none") : Joined(products)));
    if (!split) {
        report.slotMap.push_back(L"  keywords: " + (hasKeywords ? keywords : std::wstring(L"absent")));
        return;
    }
    std::vector<std::wstring> shownTargets;
    for (const std::wstring& target : SplitTargetVersions(targets))
        shownTargets.push_back(Described(check, target, L"target version"));
    report.slotMap.push_back(L"  targets:  " + Joined(shownTargets));
    const std::wstring shownUpgrade = Described(check, upgrade, L"upgrade version");
    report.slotMap.push_back(L"  upgrade:  " + shownUpgrade + L"; " + TransformsLine(check, file, upgrade));
}

namespace {

bool ShareAProduct(const CheckedSlot& a, const CheckedSlot& b)
{
    for (const std::wstring& product : a.products) {
        for (const std::wstring& other : b.products) {
            // Product codes are GUIDs: the installer finds them whatever their case.
            if (EqualsIgnoringAsciiCase(product, other.c_str()))
                return true;
        }
    }
    return false;
}

// "slot 1", "slots 1 and 2", "slots 1, 2 and 4".
std::wstring SlotList(const std::vector<int>& slots)
{
    std::wstring text = slots.size() == 1 ? L"slot " : L"slots ";
    for (size_t i = 0; i < slots.size(); ++i)
        text += (i == 0 ? L"" : i + 1 == slots.size() ? L" and " : L", ") + std::to_wstring(slots[i]);
    return text;
}

} // namespace

void AddSlotOrderWarnings(BuildReport& report)
{
    const std::vector<CheckedSlot>& slots = report.checkedSlots;
    for (size_t later = 1; later < slots.size(); ++later) {
        std::vector<int> apart;
        for (size_t earlier = 0; earlier < later; ++earlier) {
            if (!ShareAProduct(slots[earlier], slots[later]))
                apart.push_back(slots[earlier].slot);
        }
        if (apart.empty())
            continue;
        report.warnings.push_back({slots[later].slot, slots[later].where,
                                   L"its products share none with those of " + SlotList(apart) +
                                       L"; on a machine without the products of " +
                                       (apart.size() == 1 ? L"that slot" : L"one of them") +
                                       L", the run stops there and never reaches slot " +
                                       std::to_wstring(slots[later].slot)});
    }
}

void AddUncheckedPatch(int slot, const std::wstring& path, BuildReport& report)
{
    report.slotMap.push_back(L"slot " + std::to_wstring(slot) + L": " + path);
}

std::wstring ProblemsText(const BuildReport& report)
{
    std::wstring text;
    for (const BuildWarning& warning : report.warnings)
        text += L"build-wrapper: warning: " + (warning.where.empty() ? L"" : warning.where + L": ") + warning.text +
                L"\n";
    for (const std::wstring& refusal : report.refusals)
        text += L"build-wrapper: refused: " + refusal + L"\n";
    return text;
}

std::wstring SlotMapText(const BuildReport& report)
{
    std::wstring text;
    for (const std::wstring& line : report.slotMap)
        text += line + L"\n";
    return text;
}
