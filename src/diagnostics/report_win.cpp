#include "diagnostics/report_win.h"

#include "diagnostics/os_description_win.h"
#include "diagnostics/report.h"
#include "messages/message_box_win.h"
#include "messages/outcome_box.h"
#include "payload/extract_win.h"
#include "payload/patch_slots.h"
#include "payload/summary_win.h"
#include "payload/temp_folder_win.h"

// The temporary copies are deliberately not deleted (documented behaviour):
// each run leaves two per embedded patch.

std::wstring BuildPatchReport(const std::wstring& resourceName)
{
    const std::wstring tempPath = MakeTempPatchPath();
    if (!ExtractPatch(tempPath, resourceName, 0))
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
        if (ExtractPatch(MakeTempPatchPath(), resourceName, 0))
            AppendReportBlock(report, resourceName, BuildPatchReport(resourceName));
    }
    // Shown even when empty and even with /q: the report is what was asked for.
    ShowMessageBox(report, L"Info", kBoxWarning);
}
