#include "msi_api_fake.h"
#include "payload/summary_win.h"
#include "support/compound_file_image.h"
#include "support/patch_image.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

namespace {

int CountCalls(const std::wstring& prefix)
{
    const auto& calls = fake_msi::Calls();
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const std::wstring& call) {
        return call.compare(0, prefix.size(), prefix) == 0;
    }));
}

class SummaryReader : public testing::Test {
protected:
    void SetUp() override { fake_msi::Reset(); }
    void TearDown() override
    {
        // Whatever happened, every handle opened was closed exactly once.
        EXPECT_EQ(fake_msi::OpenHandleCount(), 0);
        EXPECT_EQ(fake_msi::DoubleCloseCount(), 0);
        EXPECT_EQ(CountCalls(L"CloseHandle"), CountCalls(L"GetSummaryInformation") - openFailures_);
    }
    int openFailures_ = 0;
    std::wstring upgrade_ = L"old upgrade";
    std::wstring targets_ = L"old targets";
};

TEST_F(SummaryReader, SplitsKeywords)
{
    fake_msi::SetSummary(L"2.5.120.0;2.5.0.0,2.5.10.0", L"{A}");
    ASSERT_TRUE(ReadPatchVersions(L"C:\\p.msp", upgrade_, targets_));
    EXPECT_EQ(upgrade_, L"2.5.120.0");
    EXPECT_EQ(targets_, L"2.5.0.0,2.5.10.0");
}

TEST_F(SummaryReader, MalformedKeywordsSet4316AndKeepTheOutValues)
{
    for (const wchar_t* keywords : {L"2.5.120.0", L"", L";2.5.0.0"}) {
        fake_msi::SetSummary(keywords, L"{A}");
        SetLastError(0);
        EXPECT_FALSE(ReadPatchVersions(L"C:\\p.msp", upgrade_, targets_)) << keywords;
        EXPECT_EQ(GetLastError(), 4316u) << keywords;
        EXPECT_EQ(upgrade_, L"old upgrade");
        EXPECT_EQ(targets_, L"old targets");
    }
}

TEST_F(SummaryReader, A2047CharacterValueIsReadInOneCall)
{
    const std::wstring keywords = L"1.0.0.0;" + std::wstring(2047 - 8, L'7');
    fake_msi::SetSummary(keywords, L"{A}");
    ASSERT_TRUE(ReadPatchVersions(L"C:\\p.msp", upgrade_, targets_));
    EXPECT_EQ(L"1.0.0.0;" + targets_, keywords);
    EXPECT_EQ(CountCalls(L"SummaryInfoGetProperty"), 1);
}

TEST_F(SummaryReader, ALongerValueIsReadWholeAfterOneRetry)
{
    const std::wstring templateValue = L"{A};" + std::wstring(5000 - 4, L'x');
    fake_msi::SetSummary(L"1.0.0.0;", templateValue);
    std::wstring products;
    ASSERT_TRUE(ReadPatchProducts(L"C:\\p.msp", products));
    EXPECT_EQ(products, templateValue);
    const std::vector<std::wstring> expected = {L"GetSummaryInformation", L"SummaryInfoGetProperty 7 2048",
                                                L"SummaryInfoGetProperty 7 5001", L"CloseHandle"};
    EXPECT_EQ(fake_msi::Calls(), expected);
}

TEST_F(SummaryReader, MoreDataAfterTheRetryFails)
{
    fake_msi::SummaryScript script;
    script.readResults[kSummaryTemplate] = kMsiMoreData;
    fake_msi::SetSummary(script);
    std::wstring products = L"unchanged";
    EXPECT_FALSE(ReadPatchProducts(L"C:\\p.msp", products));
    EXPECT_EQ(products, L"unchanged");
    EXPECT_EQ(CountCalls(L"SummaryInfoGetProperty"), 2);
}

TEST_F(SummaryReader, AFailedReadLeavesTheInstallersAnswer)
{
    fake_msi::SummaryScript script;
    script.readResults[kSummaryKeywords] = 1627;
    fake_msi::SetSummary(script);
    SetLastError(0);
    EXPECT_FALSE(ReadPatchVersions(L"C:\\p.msp", upgrade_, targets_));
    EXPECT_EQ(GetLastError(), 1627u);
    EXPECT_EQ(upgrade_, L"old upgrade");
}

TEST_F(SummaryReader, AFileThatIsNoPackageLeavesTheInstallersAnswer)
{
    fake_msi::SummaryScript script;
    script.openResult = 1620;
    fake_msi::SetSummary(script);
    openFailures_ = 2;
    std::wstring products = L"unchanged";
    SetLastError(0);
    EXPECT_FALSE(ReadPatchProducts(L"C:\\p.msp", products));
    EXPECT_FALSE(ReadPatchVersions(L"C:\\p.msp", upgrade_, targets_));
    EXPECT_EQ(GetLastError(), 1620u);
    EXPECT_EQ(products, L"unchanged");
}

TEST_F(SummaryReader, AnEmptyTemplateIsAValue)
{
    fake_msi::SetSummary(L"1.0.0.0;", L"");
    std::wstring products = L"unchanged";
    ASSERT_TRUE(ReadPatchProducts(L"C:\\p.msp", products));
    EXPECT_EQ(products, L"");
}

TEST_F(SummaryReader, RelativePathsAreResolvedAgainstTheCurrentFolder)
{
    fake_msi::SetSummary(L"1.0.0.0;", L"{A}");
    std::wstring products;
    ASSERT_TRUE(ReadPatchProducts(L"patch.msp", products));
    wchar_t folder[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, folder);
    std::wstring expected = folder;
    if (expected.back() != L'\\')
        expected += L'\\';
    ASSERT_EQ(fake_msi::OpenedSummaryPaths().size(), 1u);
    EXPECT_EQ(fake_msi::OpenedSummaryPaths()[0], expected + L"patch.msp");
}

TEST_F(SummaryReader, AFullPathBeyondTheBufferIsNotOpened)
{
    std::wstring products = L"unchanged";
    EXPECT_FALSE(ReadPatchProducts(L"C:\\" + std::wstring(300, L'p'), products));
    EXPECT_TRUE(fake_msi::OpenedSummaryPaths().empty());
}

// --- the targeting data of an embedded patch, read from its bytes -------------

class EmbeddedTargeting : public testing::Test {
protected:
    // Reads `image`; on failure, the last-error value it left.
    bool Read(const std::vector<std::uint8_t>& image)
    {
        SetLastError(0);
        const bool read = ReadEmbeddedTargeting({image.data(), image.size()}, targeting_);
        error_ = GetLastError();
        return read;
    }
    PatchTargeting targeting_{L"old upgrade", L"old targets", L"old products", L"old code"};
    DWORD error_ = 0;
};

TEST_F(EmbeddedTargeting, ReadsKeywordsAndTemplateWithoutTheInstaller)
{
    fake_msi::Reset();
    ASSERT_TRUE(Read(PatchImage(L"3.2.40.0;3.2.10.0,3.2.20.0", L"{A};{B}")));
    EXPECT_EQ(targeting_.upgradeVersion, L"3.2.40.0");
    EXPECT_EQ(targeting_.targetVersions, L"3.2.10.0,3.2.20.0");
    EXPECT_EQ(targeting_.products, L"{A};{B}");
    EXPECT_TRUE(fake_msi::Calls().empty());
}

TEST_F(EmbeddedTargeting, AMissingTemplateIsAnEmptyProductList)
{
    ASSERT_TRUE(Read(PatchImage({{1, false, 1252, ""}, {5, true, 0, "2.0.0.0;1.0.0.0"}})));
    EXPECT_EQ(targeting_.products, L"");
}

// The answers the installer's reader gives for the same patch on disk, so
// that message 300 and the exit code do not depend on which reader ran.
TEST_F(EmbeddedTargeting, FailsWithTheInstallersCodesAndKeepsTheOldValues)
{
    std::vector<std::uint8_t> truncated = PatchImage(L"2.0.0.0;1.0.0.0", L"{A}");
    truncated.resize(truncated.size() / 2);
    const std::vector<std::uint8_t> noSummary = CompoundFileImage({{{u"Other"}, {1, 2, 3}}});
    const std::vector<std::uint8_t> noPackage =
        CompoundFileImage({{{u"\005SummaryInformation"}, summary_stream_bytes({{5, true, 0, "2.0;1.0"}})}});
    const struct {
        const char* name;
        std::vector<std::uint8_t> image;
        DWORD error;
    } rows[] = {
        {"not a compound file", {'s', 'l', 'o', 't'}, 1620},
        {"truncated", truncated, 1620},
        {"no summary", noSummary, 1620},
        {"no installer package", noPackage, 1627},
        {"Keywords absent", PatchImage({{7, true, 0, "{A}"}}), 4316},
        {"Keywords without ';'", PatchImage(L"2.0.0.0", L"{A}"), 4316},
        {"Keywords starting with ';'", PatchImage(L";1.0.0.0", L"{A}"), 4316},
    };
    for (const auto& row : rows) {
        EXPECT_FALSE(Read(row.image)) << row.name;
        EXPECT_EQ(error_, row.error) << row.name;
        EXPECT_EQ(targeting_.upgradeVersion, L"old upgrade") << row.name;
        EXPECT_EQ(targeting_.products, L"old products") << row.name;
    }
}

} // namespace
