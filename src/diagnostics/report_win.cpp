#include "diagnostics/report_win.h"

#include "diagnostics/os_description_win.h"
#include "diagnostics/report.h"
#include "messages/message_box_win.h"
#include "messages/outcome_box.h"
#include "payload/embedded_patch.h"
#include "payload/patch_slots.h"
#include "payload/summary_win.h"
#include "payload/temp_folder_win.h"
#include "shared/run_log_win.h"

// The report reads each patch the way the installer will, from a copy on
// disk. The copies are deliberately not deleted (documented behaviour):
// each run leaves two per embedded patch.

std::wstring BuildPatchReport(const std::wstring& resourceName)
{
    PatchBytes patch;
    std::wstring tempPath;
    if (!FindEmbeddedPatch(resourceName, patch) || !WriteTempPatchCopy(patch, tempPath))
        return std::wstring();
    PatchReportFields fields;
    if (!ReadPatchProducts(tempPath, fields.products))
        return std::wstring();
    // Unreadable versions still give a report, with empty version lines.
    ReadPatchVersions(tempPath, fields.upgradeVersion, fields.targetVersions);
    fields.osName = L"Windows";
    DescribeOperatingSystem(fields.osName, fields.osVersion);
    return FormatPatchReport(fields);
}

void ShowPatchReport()
{
    std::wstring report;
    for (int slot = 1; slot <= kPatchSlotCount; ++slot) {
        const std::wstring resourceName = PatchResourceName(slot);
        PatchBytes patch;
        std::wstring tempPath;
        if (FindEmbeddedPatch(resourceName, patch) && WriteTempPatchCopy(patch, tempPath))
            AppendReportBlock(report, resourceName, BuildPatchReport(resourceName));
    }
    // Shown even when empty and even with /q: the report is what was asked for.
    Log(kLogInfo, L"Report shown: " + report);
    ShowMessageBox(report, L"Info", kBoxWarning);
}
