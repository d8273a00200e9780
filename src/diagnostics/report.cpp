#include "diagnostics/report.h"

namespace {

const wchar_t kBlockSeparator[] = L"\n\n-----------------------------------------------\n\n";

std::wstring OneCodePerLine(std::wstring products)
{
    for (wchar_t& c : products) {
        if (c == L';')
            c = L'\n';
    }
    return products;
}

} // namespace

std::wstring FormatPatchReport(const PatchReportFields& fields)
{
    // No blank between name and "(": the names that take a suffix end in one.
    return L"Products:\n" + OneCodePerLine(fields.products) +
           L"\nTarget:\n\t" + fields.targetVersions +
           L"\nUpgrade:\n\t" + fields.upgradeVersion +
           L"\nOSInfo:\n\t" + fields.osName + L"(" + FormatVersion(fields.osVersion) + L")";
}

void AppendReportBlock(std::wstring& report, const std::wstring& resourceName,
                       const std::wstring& patchReport)
{
    report += resourceName;
    report += L"\n";
    report += patchReport;
    report += kBlockSeparator;
}
