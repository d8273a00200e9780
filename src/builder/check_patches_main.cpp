// check_patches: the patch checks of ./build-wrapper on the build machine.
//
//   check_patches [--output OUT.exe] [--unchecked] -- PATCH...
//
// Places the patches in their slots and checks them as build-wrapper.exe
// does (the same code), then prints the slot map on standard output, one
// block per slot beginning "slot N: FULL-PATH", from which ./build-wrapper
// builds. Refusals and warnings go to standard error; a refusal ends with
// exit code 2 and no slot map.

#include "builder/patch_checks.h"
#include "builder/patch_file.h"
#include "builder/patch_plan.h"
#include "shared/utf8_text.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

void Print(std::FILE* stream, const std::wstring& text)
{
    const std::string bytes = Utf8FromWide(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
}

int Refuse(const std::wstring& refusal)
{
    Print(stderr, L"build-wrapper: " + refusal + L"\n");
    return kBuilderRefused;
}

} // namespace

int main(int argc, char** argv)
{
    std::wstring output;
    bool checked = true;
    int at = 1;
    for (; at < argc && std::string(argv[at]) != "--"; ++at) {
        const std::string option = argv[at];
        if (option == "--unchecked")
            checked = false;
        else if (option == "--output" && at + 1 < argc)
            output = WideFromUtf8(argv[++at]);
        else
            return Refuse(L"check_patches: unknown option " + WideFromUtf8(option));
    }
    std::vector<std::wstring> arguments;
    for (++at; at < argc; ++at)
        arguments.push_back(WideFromUtf8(argv[at]));

    std::vector<PatchArgument> patches;
    std::wstring refusal;
    if (!ParsePatchArguments(arguments, patches, refusal))
        return Refuse(refusal);
    std::vector<PatchFileFacts> facts;
    for (const PatchArgument& patch : patches) {
        facts.push_back(LookAtPatchFile(patch.file, output));
        refusal = PatchFileRefusal(patch.file, facts.back());
        if (!refusal.empty())
            return Refuse(refusal);
    }

    BuildReport report;
    for (const PlacedPatch& placed : PlaceSlots(patches)) {
        const std::wstring& path = facts[placed.argument].fullPath;
        std::vector<std::uint8_t> bytes;
        if (!checked)
            AddUncheckedPatch(placed.slot, path, report);
        else if (ReadPatchFile(patches[placed.argument].file, bytes))
            CheckPatch(placed.slot, path, bytes.data(), bytes.size(), report);
        else
            return Refuse(L"patch file '" + patches[placed.argument].file + L"' cannot be read");
    }
    Print(stderr, ProblemsText(report));
    if (!report.refusals.empty())
        return kBuilderRefused;
    Print(stdout, SlotMapText(report));
    return 0;
}
