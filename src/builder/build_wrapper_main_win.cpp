// build-wrapper.exe: builds a wrapper on Windows. It carries the x64 and
// x86 wrappers without patches in its own resources and adds the patches
// to a copy of one of them; the checks, slot map and messages are those of
// ./build-wrapper (src/builder, the same code).
//
//   build-wrapper -o OUT.exe [--arch x64|x86] [--unchecked] [PATCH ...]
//
// Exit code 0 when the wrapper was written, 2 when anything was refused or
// failed; nothing is written then.

#include "builder/builder_options.h"
#include "builder/console_text_win.h"
#include "builder/patch_checks.h"
#include "builder/patch_file_win.h"
#include "builder/patch_plan.h"
#include "builder/wrapper_writer_win.h"
#include "shared/dll_search_win.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

int Refuse(const std::wstring& refusal)
{
    WriteText(STD_ERROR_HANDLE, L"build-wrapper: " + refusal + L"\n");
    return kBuilderRefused;
}

// The wrapper without patches for `arch`, from this program's resources.
bool FindWrapperImage(const std::wstring& arch, const std::uint8_t*& image, std::size_t& size)
{
    HRSRC resource = FindResourceW(nullptr, arch == L"x86" ? L"WRAPPER_X86" : L"WRAPPER_X64", RT_RCDATA);
    HGLOBAL loaded = resource != nullptr ? LoadResource(nullptr, resource) : nullptr;
    image = loaded != nullptr ? static_cast<const std::uint8_t*>(LockResource(loaded)) : nullptr;
    size = resource != nullptr ? SizeofResource(nullptr, resource) : 0;
    return image != nullptr && size > 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    RestrictDllSearchToSystemFolder();
    BuilderOptions options;
    std::wstring refusal;
    switch (ParseBuilderOptions(std::vector<std::wstring>(argv + 1, argv + argc), options, refusal)) {
    case kBuilderUsage:
        WriteText(STD_ERROR_HANDLE, BuilderUsage());
        return kBuilderRefused;
    case kBuilderRefuse:
        return Refuse(refusal);
    case kBuilderBuild:
        break;
    }
    std::vector<PatchArgument> patches;
    if (!ParsePatchArguments(options.patches, patches, refusal))
        return Refuse(refusal);

    // The files stay mapped until the process ends: the resource update
    // reads them up to its last call.
    const FileIdentity output = IdentifyFile(options.output);
    std::vector<PatchFileFacts> facts;
    std::vector<MappedFile> mapped(patches.size());
    for (size_t i = 0; i < patches.size(); ++i) {
        facts.push_back(OpenPatchFile(patches[i].file, output, mapped[i]));
        refusal = PatchFileRefusal(patches[i].file, facts.back());
        if (!refusal.empty())
            return Refuse(refusal);
    }

    BuildReport report;
    std::vector<PatchResource> resources;
    for (const PlacedPatch& placed : PlaceSlots(patches)) {
        const MappedFile& file = mapped[placed.argument];
        const std::size_t size = static_cast<std::size_t>(file.size);
        if (options.checked)
            CheckPatch(placed.slot, facts[placed.argument].fullPath, file.bytes, size, report);
        else
            AddUncheckedPatch(placed.slot, facts[placed.argument].fullPath, report);
        resources.push_back({placed.slot, file.bytes, size});
    }
    WriteText(STD_ERROR_HANDLE, ProblemsText(report));
    if (!report.refusals.empty())
        return kBuilderRefused;

    const std::uint8_t* image = nullptr;
    std::size_t imageSize = 0;
    if (!FindWrapperImage(options.arch, image, imageSize))
        return Refuse(L"this build-wrapper.exe carries no " + options.arch + L" wrapper");
    const std::wstring failure = WriteWrapper(options.output, image, imageSize, resources);
    if (!failure.empty())
        return Refuse(failure);
    WriteText(STD_OUTPUT_HANDLE, SlotMapText(report) + L"wrote " + options.output + L"\n");
    return 0;
}
