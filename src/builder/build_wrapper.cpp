#include "builder/build_wrapper.h"

#include "builder/build_files.h"
#include "builder/builder_host.h"
#include "builder/patch_checks.h"
#include "builder/wrapper_writer.h"

#include <cstdint>

namespace {

int Refuse(const std::wstring& refusal)
{
    PrintError(L"build-wrapper: " + refusal + L"\n");
    return kBuilderRefused;
}

// The checks of every patch, each file mapped only while it is read.
bool CheckPatches(const BuilderOptions& options, const std::vector<PatchArgument>& patches,
                  const std::vector<PatchFileFacts>& facts, const std::vector<PlacedPatch>& placed,
                  BuildReport& report, std::wstring& refusal)
{
    for (const PlacedPatch& place : placed) {
        const std::wstring& path = facts[place.argument].fullPath;
        if (!options.checked) {
            AddUncheckedPatch(place.slot, path, report);
            continue;
        }
        FileStamp stamp;
        const FileHandle file = OpenPatchForReading(patches[place.argument].file, stamp);
        const bool mappable = file != kNoFile && stamp.size > 0 && stamp.size <= SIZE_MAX;
        const std::uint8_t* bytes = mappable ? MapOpenFile(file, stamp.size) : nullptr;
        if (file != kNoFile)
            CloseFile(file);
        if (bytes == nullptr) {
            refusal = UnreadablePatchRefusal(patches[place.argument].file);
            return false;
        }
        CheckPatch(place.slot, path, bytes, static_cast<std::size_t>(stamp.size), report);
        UnmapPatchFile(bytes, stamp.size);
    }
    AddSlotOrderWarnings(report);
    if (placed.empty())
        report.warnings.push_back(L"the wrapper carries no patch; it would show a notice that waits for OK even "
                                  L"under /q, so an unattended run would never end");
    return true;
}

// Writes, signs where asked, and puts the wrapper in place; the refusal.
std::wstring Write(const BuilderOptions& options, const WrapperLayout& layout, const std::vector<PatchCopy>& copies)
{
    const FileProblem folder = MakeFolderOf(options.output);
    if (folder != kFileFine)
        return L"cannot make the folder of '" + options.output + L"': " + FileProblemText(folder);
    const std::wstring partial = options.output + L".partial";
    std::wstring refusal = WriteWrapperFile(partial, layout, copies);
    if (!refusal.empty())
        return refusal;
    std::wstring finished = partial;
    if (!options.certificate.empty()) {
        finished = options.output + L".signing";
        refusal = SignWrapper(partial, finished, options);
        RemoveFile(partial);
        if (!refusal.empty()) {
            RemoveFile(finished);
            return refusal;
        }
    }
    const FileProblem replaced = MoveOver(finished, options.output);
    if (replaced == kFileFine)
        return std::wstring();
    RemoveFile(finished);
    return L"cannot write '" + options.output + L"': " + FileProblemText(replaced);
}

} // namespace

int RunBuilder(const std::vector<std::wstring>& arguments)
{
    BuilderOptions options;
    std::wstring refusal;
    switch (ParseBuilderOptions(arguments, options, refusal)) {
    case kBuilderUsage:
        PrintError(BuilderUsage());
        return kBuilderRefused;
    case kBuilderRefuse:
        return Refuse(refusal);
    case kBuilderBuild:
        break;
    }
    refusal = SigningRefusal(options);
    if (!refusal.empty())
        return Refuse(refusal);
    std::vector<PatchArgument> patches;
    if (!ParsePatchArguments(options.patches, patches, refusal))
        return Refuse(refusal);
    if (IsFolder(options.output))
        return Refuse(L"cannot write '" + options.output + L"': " + FileProblemText(kFileFolder));

    std::vector<PatchFileFacts> facts;
    for (const PatchArgument& patch : patches) {
        facts.push_back(LookAtPatchFile(patch.file, options.output));
        refusal = PatchFileRefusal(patch.file, facts.back());
        if (!refusal.empty())
            return Refuse(refusal);
    }
    const std::vector<PlacedPatch> placed = PlaceSlots(patches);
    BuildReport report;
    if (!CheckPatches(options, patches, facts, placed, report, refusal))
        return Refuse(refusal);

    const std::uint8_t* stub = nullptr;
    std::size_t stubSize = 0;
    if (!FindStub(options.arch, stub, stubSize))
        return Refuse(L"this build-wrapper carries no " + options.arch + L" wrapper");
    std::vector<PatchSlot> slots;
    std::vector<PatchCopy> copies;
    for (const PlacedPatch& place : placed) {
        slots.push_back({place.slot, facts[place.argument].size});
        copies.push_back({patches[place.argument].file, facts[place.argument].size});
    }
    WrapperLayout layout;
    std::wstring problem;
    const PlanResult planned = PlanWrapper(stub, stubSize, slots, layout, problem);
    if (planned == kStubRefused)
        return Refuse(L"the " + options.arch + L" wrapper without patches that this build-wrapper carries " + problem);
    if (planned == kWrapperTooLarge)
        report.refusals.push_back(problem);
    else if (layout.x86 && layout.sizeOfImage > kLargestComfortableX86Image) {
        report.warnings.push_back(L"the x86 wrapper takes " + std::to_wstring(layout.sizeOfImage) +
                                  L" bytes in memory; a 32-bit process may find no free range that large to load "
                                  L"it in (use --arch x64 where the machines allow)");
    }
    PrintError(ProblemsText(report));
    if (!report.refusals.empty())
        return kBuilderRefused;

    refusal = Write(options, layout, copies);
    if (!refusal.empty())
        return Refuse(refusal);
    PrintOut(SlotMapText(report) + (options.certificate.empty() ? L"" : L"signed with " + options.certificate + L"\n") +
             L"wrote " + options.output + L"\n");
    return 0;
}
