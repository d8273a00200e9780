#include "diagnostics/os_description.h"
#include "diagnostics/report.h"

#include <gtest/gtest.h>

#include <string>

namespace {

PatchReportFields Fields(const std::wstring& products, const std::wstring& targets, const std::wstring& upgrade)
{
    PatchReportFields fields;
    fields.products = products;
    fields.targetVersions = targets;
    fields.upgradeVersion = upgrade;
    fields.osName = L"Windows 7";
    fields.osVersion = VersionQuad(6, 1, 7601, 0);
    return fields;
}

const wchar_t kA[] = L"{AAAAAAAA-0000-0000-0000-000000000001}";
const wchar_t kB[] = L"{BBBBBBBB-0000-0000-0000-000000000002}";
const wchar_t kC[] = L"{CCCCCCCC-0000-0000-0000-000000000003}";

TEST(PatchReport, OneProductCode)
{
    EXPECT_EQ(FormatPatchReport(Fields(kA, L"3.2.10.0,3.2.20.0", L"3.2.40.0")),
              std::wstring(L"Products:\n") + kA +
                  L"\nTarget:\n\t3.2.10.0,3.2.20.0\nUpgrade:\n\t3.2.40.0\nOSInfo:\n\tWindows 7(6.1.7601.0)");
}

TEST(PatchReport, EachProductCodeOnALineOfItsOwn)
{
    const std::wstring products = std::wstring(kA) + L";" + kB + L";" + kC;
    EXPECT_EQ(FormatPatchReport(Fields(products, L"1.0.0.0", L"2.0.0.0")),
              std::wstring(L"Products:\n") + kA + L"\n" + kB + L"\n" + kC +
                  L"\nTarget:\n\t1.0.0.0\nUpgrade:\n\t2.0.0.0\nOSInfo:\n\tWindows 7(6.1.7601.0)");
}

TEST(PatchReport, ALeadingSemicolonGivesAnEmptyFirstLine)
{
    EXPECT_EQ(FormatPatchReport(Fields(std::wstring(L";") + kA, L"1.0.0.0", L"2.0.0.0")),
              std::wstring(L"Products:\n\n") + kA +
                  L"\nTarget:\n\t1.0.0.0\nUpgrade:\n\t2.0.0.0\nOSInfo:\n\tWindows 7(6.1.7601.0)");
}

TEST(PatchReport, UnreadableVersionsLeaveOnlyTheTabs)
{
    EXPECT_EQ(FormatPatchReport(Fields(kA, L"", L"")),
              std::wstring(L"Products:\n") + kA + L"\nTarget:\n\t\nUpgrade:\n\t\nOSInfo:\n\tWindows 7(6.1.7601.0)");
}

TEST(PatchReport, AFailedQueryReadsWindowsZero)
{
    PatchReportFields fields = Fields(kA, L"1.0.0.0", L"2.0.0.0");
    fields.osName = L"Windows";
    fields.osVersion = VersionQuad();
    DecideOperatingSystem(OsVersionInputs(), fields.osName, fields.osVersion);
    EXPECT_EQ(FormatPatchReport(fields), std::wstring(L"Products:\n") + kA +
                                             L"\nTarget:\n\t1.0.0.0\nUpgrade:\n\t2.0.0.0\nOSInfo:\n\tWindows(0.0.0.0)");
}

TEST(PatchReport, TheSuffixBlankStandsBeforeTheParenthesis)
{
    PatchReportFields fields = Fields(L"", L"", L"");
    fields.osName = L"Microsoft Windows XP Home Edition ";
    fields.osVersion = VersionQuad(5, 1, 2600, 0);
    EXPECT_EQ(FormatPatchReport(fields), L"Products:\n\nTarget:\n\t\nUpgrade:\n\t\nOSInfo:\n\t"
                                         L"Microsoft Windows XP Home Edition (5.1.2600.0)");
}

TEST(ReportBlocks, SlotsOneAndFourInOrderEachWithItsSeparator)
{
    const std::wstring first = FormatPatchReport(Fields(kA, L"1.0.0.0", L"2.0.0.0"));
    const std::wstring fourth = FormatPatchReport(Fields(kB, L"3.0.0.0", L"4.0.0.0"));
    std::wstring report;
    AppendReportBlock(report, L"IDR_MSP_1", first);
    AppendReportBlock(report, L"IDR_MSP_4", fourth);
    EXPECT_EQ(report,
              std::wstring(L"IDR_MSP_1\nProducts:\n") + kA +
                  L"\nTarget:\n\t1.0.0.0\nUpgrade:\n\t2.0.0.0\nOSInfo:\n\tWindows 7(6.1.7601.0)"
                  L"\n\n-----------------------------------------------\n\n"
                  L"IDR_MSP_4\nProducts:\n" + kB +
                  L"\nTarget:\n\t3.0.0.0\nUpgrade:\n\t4.0.0.0\nOSInfo:\n\tWindows 7(6.1.7601.0)"
                  L"\n\n-----------------------------------------------\n\n");
}

TEST(ReportBlocks, AnUnreadablePatchKeepsItsNameAndSeparator)
{
    std::wstring report;
    AppendReportBlock(report, L"IDR_MSP_15", L"");
    EXPECT_EQ(report, L"IDR_MSP_15\n\n\n-----------------------------------------------\n\n");
}

} // namespace
