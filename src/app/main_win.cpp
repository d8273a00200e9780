#include "app/command_line_win.h"
#include "app/install_run_win.h"
#include "diagnostics/report_win.h"
#include "payload/extract_win.h"
#include "payload/patch_slots.h"
#include "shared/process_state.h"
#include "shared/process_state_win.h"

#include <windows.h>

namespace {

void ExtractAllPatches(const std::wstring& path)
{
    // Every slot is tried; an absent or unwritable one is skipped silently.
    for (int slot = 1; slot <= kPatchSlotCount; ++slot)
        ExtractPatch(path, PatchResourceName(slot), slot);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    ModuleInstance = instance;
    ParseCommandLine();

    if (Options.installMode) {
        const unsigned exitCode = RunInstall();
        return Options.deploymentExitCode ? static_cast<int>(exitCode) : 0;
    }
    if (Options.extractMode)
        ExtractAllPatches(Options.extractPath);
    if (Options.infoMode)
        ShowPatchReport();
    return 0;
}
