#include "app/app_state.h"
#include "app/command_line_win.h"
#include "app/install_run_win.h"
#include "app/module_win.h"
#include "diagnostics/report_win.h"
#include "payload/extract_win.h"
#include "payload/patch_slots.h"

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
    g_module = instance;
    ParseCommandLine();

    if (g_options.installMode) {
        const unsigned exitCode = RunInstall();
        return g_options.deploymentExitCode ? static_cast<int>(exitCode) : 0;
    }
    if (g_options.extractMode)
        ExtractAllPatches(g_options.extractPath);
    if (g_options.infoMode)
        ShowPatchReport();
    return 0;
}
