#include "install/rollback_win.h"

#include "install/configure_win.h"
#include "install/installed_targets_win.h"
#include "install/version.h"
#include "payload/extract_win.h"
#include "payload/temp_folder_win.h"

#include <windows.h>

void RollBackPatch(const std::wstring& resourceName)
{
    // The copy made for the installation is gone; the removal needs its own.
    const std::wstring patchPath = MakeTempPatchPath();
    ExtractPatch(patchPath, resourceName, 0);

    // Versions are read afresh, so they show what this run installed.
    ProductRecords records;
    FindInstalledTargets(patchPath, records);
    for (const auto& record : records) {
        if (VersionEqual(ParseVersion(record->installedVersion), ParseVersion(record->upgradeVersion)))
            ConfigurePatch(*record, patchPath, true);
    }
    DeleteFileW(patchPath.c_str());
}
