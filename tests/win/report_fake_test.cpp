#include "diagnostics/report_win.h"
#include "fake_fixture.h"
#include "payload/patch_slots.h"
#include "payload/temp_folder_win.h"

#include <cwctype>

namespace {

const std::wstring kSeparator = L"\n\n-----------------------------------------------\n\n";

// The operating-system line for what the test prefix reports, asked here
// directly and named from a table of the workstations a Wine prefix
// reports, rather than through the code under test.
std::wstring OsLine()
{
    OSVERSIONINFOEXW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info));
    EXPECT_EQ(info.wProductType, VER_NT_WORKSTATION);
    const struct {
        DWORD major, minor;
        const wchar_t* name;
    } names[] = {{6, 0, L"Windows Vista "}, {6, 1, L"Windows 7"}, {6, 2, L"Windows 8"}, {6, 3, L"Windows 8.1"}};
    std::wstring name = L"(a version this test does not know)";
    for (const auto& known : names) {
        if (known.major == info.dwMajorVersion && known.minor == info.dwMinorVersion)
            name = known.name;
    }
    return L"\nOSInfo:\n\t" + name + L"(" + std::to_wstring(info.dwMajorVersion) + L"." +
           std::to_wstring(info.dwMinorVersion) + L"." + std::to_wstring(info.dwBuildNumber & 0xFFFF) + L".0)";
}

// Files named "MSP" and a number in the folder the copies would go to.
int TempPatchCopies()
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((TempCopyFolder() + L"\\MSP*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    int count = 0;
    do {
        const std::wstring digits = found.cFileName + 3;
        bool numbered = !digits.empty();
        for (wchar_t c : digits)
            numbered = numbered && iswdigit(c);
        if (numbered && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            ++count;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return count;
}

class PatchReportTest : public FakeInstallerTest {
protected:
    void SetUp() override
    {
        FakeInstallerTest::SetUp();
        Options.installMode = false;
        Options.infoMode = true;
        // Slots not set below hold no package at all.
        for (int slot = 1; slot <= kPatchSlotCount; ++slot)
            fake_patches::Set(slot, std::vector<std::uint8_t>(512, 0x5A));
        EmbedPatch(1, L"2.0.0.0;1.0.0.0,1.5.0.0", std::wstring(kProductA) + L";" + kProductB);
        EmbedPatch(4, L"no semicolon", kProductB);
    }

    // Every one of the fifteen test slots holds a patch, so each has a block.
    static std::wstring ExpectedReport()
    {
        std::wstring report;
        for (int slot = 1; slot <= kPatchSlotCount; ++slot) {
            report += L"IDR_MSP_" + std::to_wstring(slot) + L"\n";
            if (slot == 1)
                report += std::wstring(L"Products:\n") + kProductA + L"\n" + kProductB +
                          L"\nTarget:\n\t1.0.0.0,1.5.0.0\nUpgrade:\n\t2.0.0.0" + OsLine();
            if (slot == 4)
                report += std::wstring(L"Products:\n") + kProductB + L"\nTarget:\n\t\nUpgrade:\n\t" + OsLine();
            report += kSeparator;
        }
        return report;
    }
};

TEST_F(PatchReportTest, ShowsOneWarningBoxWithTheWholeReport)
{
    ShowPatchReport();
    ASSERT_EQ(fake_boxes::Shown().size(), 1u);
    EXPECT_EQ(fake_boxes::Shown()[0].caption, L"Info");
    EXPECT_EQ(fake_boxes::Shown()[0].flags, 0x50030u);
    EXPECT_EQ(fake_boxes::Shown()[0].text, ExpectedReport());
}

TEST_F(PatchReportTest, QuietDoesNotHideIt)
{
    Options.quiet = true;
    ShowPatchReport();
    ASSERT_EQ(fake_boxes::Shown().size(), 1u);
    EXPECT_EQ(fake_boxes::Shown()[0].text, ExpectedReport());
}

// The report reads the embedded bytes, as the install run decides: no
// copy is written, and the installer is not asked.
TEST_F(PatchReportTest, ReadsTheEmbeddedBytesAndWritesNoCopy)
{
    const int before = TempPatchCopies();
    ShowPatchReport();
    EXPECT_EQ(TempPatchCopies(), before);
    EXPECT_EQ(BuildPatchReport(L"IDR_MSP_1"), std::wstring(L"Products:\n") + kProductA + L"\n" + kProductB +
                                                  L"\nTarget:\n\t1.0.0.0,1.5.0.0\nUpgrade:\n\t2.0.0.0" + OsLine());
    EXPECT_TRUE(fake_msi::OpenedSummaryPaths().empty());
}

TEST_F(PatchReportTest, BuildPatchReportIsEmptyWithoutPatchOrProducts)
{
    EXPECT_EQ(BuildPatchReport(L"IDR_MSP_16"), L"");
    EXPECT_EQ(BuildPatchReport(L"IDR_MSP_2"), L"");
    EXPECT_TRUE(fake_boxes::Shown().empty());
}

} // namespace
