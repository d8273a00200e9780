#include "builder/patch_plan.h"

#include "payload/patch_slots.h"

#include <algorithm>

namespace {

// "N=FILE" with N all digits; anything else is a file name, even one with
// an equals sign in it.
bool SplitSlotArgument(const std::wstring& argument, std::wstring& digits, std::wstring& file)
{
    const size_t equals = argument.find(L'=');
    if (equals == 0 || equals == std::wstring::npos)
        return false;
    for (size_t i = 0; i < equals; ++i) {
        if (argument[i] < L'0' || argument[i] > L'9')
            return false;
    }
    digits = argument.substr(0, equals);
    file = argument.substr(equals + 1);
    return true;
}

// The slot number as a decimal without leading zeros; any number past the
// last slot stands as written.
int SlotNumber(std::wstring& digits)
{
    digits.erase(0, std::min(digits.find_first_not_of(L'0'), digits.size() - 1));
    return digits.size() > 2 ? kPatchSlotCount + 1 : std::stoi(digits);
}

} // namespace

bool ParsePatchArguments(const std::vector<std::wstring>& arguments, std::vector<PatchArgument>& patches,
                         std::wstring& refusal)
{
    if (arguments.size() > static_cast<size_t>(kPatchSlotCount)) {
        refusal = std::to_wstring(arguments.size()) + L" patches given; a wrapper carries at most " +
                  std::to_wstring(kPatchSlotCount);
        return false;
    }
    std::vector<bool> taken(kPatchSlotCount + 1, false);
    patches.clear();
    for (const std::wstring& argument : arguments) {
        PatchArgument patch;
        std::wstring digits;
        if (!SplitSlotArgument(argument, digits, patch.file)) {
            patch.file = argument;
        } else {
            patch.slot = SlotNumber(digits);
            if (patch.slot < 1 || patch.slot > kPatchSlotCount) {
                refusal = L"slot " + digits + L" is outside 1 to " + std::to_wstring(kPatchSlotCount) + L" in '" +
                          argument + L"'";
                return false;
            }
            if (taken[patch.slot]) {
                refusal = L"slot " + digits + L" is given twice";
                return false;
            }
            taken[patch.slot] = true;
        }
        patches.push_back(patch);
    }
    return true;
}

std::wstring PatchFileRefusal(const std::wstring& file, const PatchFileFacts& facts)
{
    if (!facts.exists)
        return L"patch file '" + file + L"' does not exist";
    if (!facts.regular)
        return L"patch file '" + file + L"' is not a regular file";
    if (facts.size == 0)
        return L"patch file '" + file + L"' is empty";
    if (!facts.readable)
        return UnreadablePatchRefusal(file);
    if (!facts.signature)
        return L"'" + file + L"' is not a Windows Installer patch (no compound-file signature)";
    if (facts.written != kNotWritten)
        return WrittenInputRefusal(L"patch file", file, facts.written);
    // The slot map names one file a line, and ./build-wrapper reads it back.
    if (facts.fullPath.find_first_of(L"\r\n") != std::wstring::npos)
        return L"patch file '" + file + L"' has a line break in its name";
    return std::wstring();
}

std::wstring WrittenInputRefusal(const std::wstring& what, const std::wstring& file, WrittenFile written)
{
    const std::wstring named = what + L" '" + file + L"' is ";
    switch (written) {
    case kNotWritten:
        break;
    case kWrittenOutput:
        return named + L"the output file too";
    case kWrittenManifest:
        return named + L"the manifest file too";
    case kWrittenScratch:
        return named + L"the build's own scratch file";
    }
    return std::wstring();
}

bool operator==(const FileIdentity& a, const FileIdentity& b)
{
    return a.volume == b.volume && a.index == b.index && a.modified == b.modified;
}

std::wstring UnreadablePatchRefusal(const std::wstring& file)
{
    return L"patch file '" + file + L"' cannot be read";
}

std::wstring ChangedPatchRefusal(const std::wstring& file)
{
    return L"patch file '" + file + L"' changed while the wrapper was being built";
}

std::vector<PlacedPatch> PlaceSlots(const std::vector<PatchArgument>& patches)
{
    std::vector<PlacedPatch> placed;
    std::vector<bool> taken(kPatchSlotCount + 2, false);
    for (size_t i = 0; i < patches.size(); ++i) {
        if (patches[i].slot != 0) {
            placed.push_back({patches[i].slot, i});
            taken[patches[i].slot] = true;
        }
    }
    int next = 1;
    for (size_t i = 0; i < patches.size(); ++i) {
        if (patches[i].slot != 0)
            continue;
        while (taken[next])
            ++next;
        placed.push_back({next, i});
        taken[next] = true;
    }
    std::sort(placed.begin(), placed.end(),
              [](const PlacedPatch& a, const PlacedPatch& b) { return a.slot < b.slot; });
    return placed;
}
