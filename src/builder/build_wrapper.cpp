#include "builder/build_wrapper.h"

#include "builder/build_files.h"
#include "builder/build_steps.h"
#include "builder/builder_host.h"
#include "builder/patch_checks.h"
#include "builder/wrapper_manifest.h"
#include "builder/wrapper_writer.h"

#include <cstdint>
#include <new>
#include <utility>
#include <vector>

namespace {

int Refuse(const std::wstring& refusal)
{
    PrintError(L"build-wrapper: " + refusal + L"\n");
    return kBuilderRefused;
}

// Which of the files the build writes the input `file` is: the output,
// the manifest (when the options name one) or one of the `scratch` names,
// none of which need exist.
WrittenFile WrittenFileAt(const std::wstring& file, const BuilderOptions& options,
                          const std::vector<std::wstring>& scratch)
{
    if (NamesOneFile(file, options.output))
        return kWrittenOutput;
    if (!options.manifest.empty() && NamesOneFile(file, options.manifest))
        return kWrittenManifest;
    for (const std::wstring& name : scratch) {
        if (NamesOneFile(file, name))
            return kWrittenScratch;
    }
    return kNotWritten;
}

// The facts of every patch file into `facts`; the refusal of the first
// input that cannot be read or is a file the build writes: the
// certificate and the password file by the same rule as the patches.
std::wstring InputsRefusal(const BuilderOptions& options, const std::vector<PatchArgument>& patches,
                           const std::vector<std::wstring>& scratch, std::vector<PatchFileFacts>& facts)
{
    const std::pair<const wchar_t*, const std::wstring*> signingInputs[] = {
        {L"certificate file", &options.certificate}, {L"password file", &options.passwordFile}};
    for (const auto& input : signingInputs) {
        const std::wstring refusal =
            input.second->empty()
                ? std::wstring()
                : WrittenInputRefusal(input.first, *input.second, WrittenFileAt(*input.second, options, scratch));
        if (!refusal.empty())
            return refusal;
    }
    for (const PatchArgument& patch : patches) {
        facts.push_back(LookAtPatchFile(patch.file));
        if (facts.back().regular)
            facts.back().written = WrittenFileAt(patch.file, options, scratch);
        const std::wstring refusal = PatchFileRefusal(patch.file, facts.back());
        if (!refusal.empty())
            return refusal;
    }
    return std::wstring();
}

// A patch file as the checks read it: at offsets, through the handle the
// build opened, a failed read recorded (a file that ends early is not one:
// its stamp tells that it changed).
struct PatchFileSource {
    const std::wstring* name = nullptr;
    FileHandle file = kNoFile;
    bool failed = false;
};

bool ReadPatchAt(void* context, std::uint64_t offset, std::uint8_t* out, std::size_t size)
{
    PatchFileSource& source = *static_cast<PatchFileSource*>(context);
    while (size > 0) {
        const std::int64_t got = ReadFromFileAt(source.file, offset, out, size);
        if (got <= 0) {
            source.failed = source.failed || got < 0;
            return false;
        }
        offset += static_cast<std::uint64_t>(got);
        out += got;
        size -= static_cast<std::size_t>(got);
        ReachedBuildStep(kPatchPieceChecked, *source.name);
    }
    return true;
}

// Checks the patch `file` in `slot`, reading only what the checks need;
// false, with the refusal, when it cannot be read or is no longer the file
// first looked at (`stamp`), before or after the checks.
bool CheckPatchFile(int slot, const std::wstring& file, const std::wstring& fullPath, const FileStamp& stamp,
                    BuildReport& report, std::wstring& refusal)
{
    FileStamp before, after;
    PatchFileSource patch;
    patch.name = &file;
    patch.file = OpenPatchForReading(file, before);
    if (patch.file == kNoFile) {
        refusal = UnreadablePatchRefusal(file);
        return false;
    }
    if (SameStamp(before, stamp)) {
        ByteSource source;
        source.read = ReadPatchAt;
        source.context = &patch;
        source.size = before.size;
        CheckPatch(slot, fullPath, source, report);
    }
    const bool stamped = StampOfOpenFile(patch.file, after);
    CloseFile(patch.file);
    if (patch.failed || !stamped)
        refusal = UnreadablePatchRefusal(file);
    else if (!SameStamp(before, stamp) || !SameStamp(after, stamp))
        refusal = ChangedPatchRefusal(file);
    return refusal.empty();
}

// The checks of every patch.
bool CheckPatches(const BuilderOptions& options, const std::vector<PatchArgument>& patches,
                  const std::vector<PatchFileFacts>& facts, const std::vector<PlacedPatch>& placed,
                  BuildReport& report, std::wstring& refusal)
{
    for (const PlacedPatch& place : placed) {
        const PatchFileFacts& fact = facts[place.argument];
        if (!options.checked)
            AddUncheckedPatch(place.slot, fact.fullPath, report);
        else if (!CheckPatchFile(place.slot, patches[place.argument].file, fact.fullPath, {fact.size, fact.identity},
                                 report, refusal))
            return false;
    }
    AddSlotOrderWarnings(report);
    if (placed.empty())
        report.warnings.push_back({0, L"",
                                   L"the wrapper carries no patch; it would show a notice that waits for OK even "
                                   L"under /q, so an unattended run would never end"});
    return true;
}

// The wrapper being made: its scratch file, held from its first byte
// until the wrapper is in place, and the folders made for it.
struct PendingWrapper {
    std::wstring partial;
    FileHandle file = kNoFile;
    std::vector<std::wstring> folders;
    bool inPlace = false;
};

// The manifest being made: its scratch file, held from before the wrapper
// is built until the manifest is in place, the folders made for it, and
// what the build learns of the files on the way.
struct PendingManifest {
    std::wstring name;  // --manifest's
    FileHandle file = kNoFile;
    std::vector<std::wstring> folders;
    FileDigest wrapper;
    std::vector<ManifestPatch> patches;  // their sizes known before, their hashes after the wrapper is written
};

// The wrapper's scratch file removed while the build holds it, and the
// folders made for the wrapper while they are empty, unless it is in place.
void DropWrapper(PendingWrapper& wrapper)
{
    if (wrapper.file != kNoFile)
        RemoveScratchFile(wrapper.file, wrapper.partial);
    wrapper.file = kNoFile;
    if (!wrapper.inPlace)
        RemoveEmptyFolders(wrapper.folders);
}

// The manifest's scratch file removed while the build holds it, and the
// folders made for it while they are empty.
void DropManifest(PendingManifest& manifest)
{
    if (manifest.file != kNoFile)
        RemoveScratchFile(manifest.file, ManifestScratchFile(manifest.name));
    manifest.file = kNoFile;
    RemoveEmptyFolders(manifest.folders);
}

// The scratch file `partial` beside `target`, made anew with the folders
// `target` lacks (added to `folders`); kNoFile, with the refusal, when
// either cannot be made.
FileHandle StartFile(const std::wstring& target, const std::wstring& partial, std::vector<std::wstring>& folders,
                     std::wstring& refusal)
{
    FileProblem problem = MakeFolderOf(target, folders);
    if (problem != kFileFine) {
        refusal = L"cannot make the folder of '" + target + L"': " + FileProblemText(problem);
        return kNoFile;
    }
    const FileHandle file = CreateScratchFile(partial, problem);
    if (file == kNoFile)
        refusal = L"cannot write '" + partial + L"': " + FileProblemText(problem);
    return file;
}

// Puts the finished wrapper in `file`, the scratch file `partial`, in
// place as the output, signed where asked; the refusal. `digest`, when
// given, gets the size and SHA-256 of the signed wrapper.
std::wstring PutWrapperInPlace(FileHandle file, const std::wstring& partial, const BuilderOptions& options,
                               FileDigest* digest)
{
    if (!options.certificate.empty())
        return SignIntoPlace(file, options.output, options, digest);
    const FileProblem problem = PutInPlace(file, partial, options.output);
    return problem == kFileFine ? std::wstring()
                                : L"cannot write '" + options.output + L"': " + FileProblemText(problem);
}

// Writes the wrapper into the build's scratch file, held from its first
// byte until the wrapper is in place, signs it where asked and puts it in
// place; the refusal. A refused or failed build removes the files it made
// and the folders it made while they are empty, and nothing else.
// `manifest`, when given, gets the hashes of the patches and the wrapper:
// of the bytes as written, but for a signed wrapper, whose bytes are the
// signer's.
std::wstring Write(const BuilderOptions& options, const WrapperLayout& layout, const std::vector<PatchCopy>& copies,
                   PendingWrapper& wrapper, PendingManifest* manifest)
{
    std::wstring refusal;
    wrapper.partial = options.output + L".partial";
    wrapper.file = StartFile(options.output, wrapper.partial, wrapper.folders, refusal);
    WrittenHashes hashes;
    hashes.wrapperWanted = options.certificate.empty();
    if (wrapper.file != kNoFile)
        refusal = WriteWrapper(wrapper.file, wrapper.partial, layout, copies, manifest != nullptr ? &hashes : nullptr);
    if (refusal.empty())
        refusal = PutWrapperInPlace(wrapper.file, wrapper.partial, options,
                                    manifest != nullptr ? &manifest->wrapper : nullptr);
    wrapper.inPlace = refusal.empty();
    // Unsigned and in place, the scratch file is the output now.
    if (wrapper.inPlace && options.certificate.empty()) {
        CloseFile(wrapper.file);
        wrapper.file = kNoFile;
    }
    DropWrapper(wrapper);
    if (manifest != nullptr && wrapper.inPlace) {
        for (size_t i = 0; i < hashes.patches.size(); ++i)
            manifest->patches[i].digest.sha256 = FinishSha256(hashes.patches[i]);
        if (hashes.wrapperWanted)
            manifest->wrapper = {layout.fileSize, FinishSha256(hashes.wrapper)};
    }
    return refusal;
}

// `text` written into the manifest's scratch file, which is then renamed
// over its name; the refusal. Not flushed first, as the wrapper is not.
std::wstring FinishManifest(const std::string& text, PendingManifest& manifest)
{
    FileProblem problem =
        WriteToFile(manifest.file, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    if (problem == kFileFine)
        problem = PutInPlace(manifest.file, ManifestScratchFile(manifest.name), manifest.name);
    if (problem == kFileFine) {
        CloseFile(manifest.file);
        manifest.file = kNoFile;
        return std::wstring();
    }
    DropManifest(manifest);
    return L"cannot write '" + manifest.name + L"': " + FileProblemText(problem) +
           L"; the wrapper is in place without it";
}

// The build of RunBuilder, which records in `wrapper` and `manifest` what
// it has made and not yet put in place.
int Build(const std::vector<std::wstring>& arguments, PendingWrapper& wrapper, PendingManifest& manifest)
{
    BuilderOptions options;
    std::wstring refusal;
    switch (ParseBuilderOptions(arguments, options, refusal)) {
    case kBuilderUsage:
        PrintError(BuilderUsage());
        return kBuilderRefused;
    case kBuilderVersion:
        PrintOut(BuilderVersion());
        return 0;
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

    // Before anything is made or removed: no input is a file the build
    // writes, nor is the manifest.
    std::vector<std::wstring> scratch = {options.output + L".partial"};
    if (!options.certificate.empty())
        scratch.insert(scratch.end(), {SigningFolder(options.output), SignedFile(options.output)});
    const bool withManifest = !options.manifest.empty();
    if (withManifest) {
        refusal = ManifestNameRefusal(options.manifest, options.output, scratch);
        if (!refusal.empty())
            return Refuse(refusal);
        scratch.push_back(ManifestScratchFile(options.manifest));
    }
    std::vector<PatchFileFacts> facts;
    refusal = InputsRefusal(options, patches, scratch, facts);
    if (!refusal.empty())
        return Refuse(refusal);
    const std::vector<PlacedPatch> placed = PlaceSlots(patches);

    // Planned from the files' sizes before any patch is read: a wrapper
    // too large to load is refused at once, whatever the patches hold.
    const std::uint8_t* stub = nullptr;
    std::size_t stubSize = 0;
    if (!FindStub(options.arch, stub, stubSize))
        return Refuse(L"this build-wrapper carries no " + options.arch + L" wrapper");
    std::vector<PatchSlot> slots;
    std::vector<PatchCopy> copies;
    for (const PlacedPatch& place : placed) {
        const PatchFileFacts& fact = facts[place.argument];
        const std::wstring& file = patches[place.argument].file;
        slots.push_back({place.slot, fact.size});
        copies.push_back({file, {fact.size, fact.identity}});
        manifest.patches.push_back({place.slot, FileNameOf(file), {fact.size, L""}});
    }
    WrapperLayout layout;
    std::wstring problem;
    BuildReport report;
    const PlanResult planned = PlanWrapper(stub, stubSize, slots, layout, problem);
    if (planned == kStubRefused)
        return Refuse(L"the " + options.arch + L" wrapper without patches that this build-wrapper carries " + problem);
    if (planned == kWrapperTooLarge) {
        report.refusals.push_back(problem);
        PrintError(ProblemsText(report));
        return kBuilderRefused;
    }

    if (!CheckPatches(options, patches, facts, placed, report, refusal))
        return Refuse(refusal);
    if (layout.x86 && layout.sizeOfImage > kLargestComfortableX86Image) {
        report.warnings.push_back({0, L"",
                                   L"the x86 wrapper takes " + std::to_wstring(layout.sizeOfImage) +
                                       L" bytes in memory; a 32-bit process may find no free range that large to "
                                       L"load it in (use --arch x64 where the machines allow)"});
    }
    PrintError(ProblemsText(report));
    if (!report.refusals.empty())
        return kBuilderRefused;

    // Made before the wrapper, so that what stands at its name is refused
    // before anything is built.
    if (withManifest) {
        manifest.name = options.manifest;
        manifest.file = StartFile(options.manifest, ManifestScratchFile(options.manifest), manifest.folders, refusal);
        if (manifest.file == kNoFile) {
            DropManifest(manifest);
            return Refuse(refusal);
        }
    }
    refusal = Write(options, layout, copies, wrapper, withManifest ? &manifest : nullptr);
    if (!refusal.empty()) {
        DropManifest(manifest);
        return Refuse(refusal);
    }
    PrintOut(SlotMapText(report) + (options.certificate.empty() ? L"" : L"signed with " + options.certificate + L"\n") +
             L"wrote " + options.output + L"\n");
    if (withManifest) {
        const std::string text = ManifestText(options.arch, manifest.wrapper, manifest.patches, report);
        refusal = FinishManifest(text, manifest);
        if (!refusal.empty())
            return Refuse(refusal);
    }
    return 0;
}

} // namespace

int RunBuilder(const std::vector<std::wstring>& arguments)
{
    PendingWrapper wrapper;
    PendingManifest manifest;
    try {
        return Build(arguments, wrapper, manifest);
    } catch (const std::bad_alloc&) {
        // The checks hold little whatever a patch holds (patch_checks.h):
        // the machine is short of memory. What the build made goes, as for
        // any refusal; a wrapper in place stays, as when its manifest
        // cannot be written.
        DropWrapper(wrapper);
        DropManifest(manifest);
        return Refuse(wrapper.inPlace ? L"refused: not enough memory to finish the build; the wrapper is in place"
                                      : L"refused: not enough memory to build the wrapper");
    }
}
