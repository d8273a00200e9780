#include "diagnostics/report_win.h"

#include "diagnostics/os_description_win.h"
#include "diagnostics/report.h"
#include "messages/message_box_win.h"
#include "messages/outcome_box.h"
#include "payload/embedded_patch.h"
#include "payload/patch_slots.h"
#include "payload/summary_win.h"
#include "shared/run_log_win.h"

// The report reads each patch from its embedded bytes, as the install run
// decides: /i writes no file.

std::wstring BuildPatchReport(const std::wstring& resourceName)
{
    PatchBytes patch;
    PatchReportFields fields;
    if (!FindEmbeddedPatch(resourceName, patch) ||
        !ReadEmbeddedReportValues(patch, fields.products, fields.upgradeVersion, fields.targetVersions))
        return std::wstring();
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
        if (FindEmbeddedPatch(resourceName, patch))
            AppendReportBlock(report, resourceName, BuildPatchReport(resourceName));
    }
    // Shown even when empty and even with /q: the report is what was asked for.
    Log(kLogInfo, L"Report shown: " + report);
    ShowMessageBox(report, L"Info", kBoxWarning);
}
