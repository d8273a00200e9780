#include "fake_fixture.h"
#include "install/decision_win.h"

#include <algorithm>
#include <ostream>
#include <vector>

namespace {

const wchar_t kTargets[] = L"3.2.40.0;3.2.10.0,3.2.20.0";

class ProcessPatchTest : public FakeInstallerTest {
protected:
    // Slot 1 targets products A and B with kTargets unless a test says otherwise.
    void SetUp() override
    {
        FakeInstallerTest::SetUp();
        fake_msi::SetSummaryForFile(Slot(1), kTargets, std::wstring(kProductA) + L";" + kProductB);
    }
    PatchOutcome Process() { return ProcessPatch(L"IDR_MSP_1", true); }
    size_t InstallerCalls() const { return fake_msi::ConfigureCalls().size(); }
    static void Product(const wchar_t* code, const wchar_t* version, const wchar_t* name = L"Alpha")
    {
        fake_msi::AddProduct(code, 5, version, name, L"1033");
    }
};

TEST_F(ProcessPatchTest, AMatchingProductIsPatched)
{
    Product(kProductA, L"3.2.10.0");
    EXPECT_EQ(Process(), Installed);
    ASSERT_EQ(InstallerCalls(), 1u);
    EXPECT_EQ(fake_msi::ConfigureCalls()[0].productCode, kProductA);
    EXPECT_EQ(fake_msi::ConfigureCalls()[0].commandLine.compare(0, 7, L"PATCH=\""), 0);
}

TEST_F(ProcessPatchTest, TheRevisionIsNotMatched)
{
    Product(kProductA, L"3.2.10.7");
    EXPECT_EQ(Process(), Installed);
    EXPECT_EQ(InstallerCalls(), 1u);
}

// Cases of one test, each from the fixture's clean state.
template <typename Case>
class ProcessPatchCaseTest : public ProcessPatchTest, public testing::WithParamInterface<Case> {};

using UpToDateTest = ProcessPatchCaseTest<const wchar_t*>;

TEST_P(UpToDateTest, AtOrAboveTheUpgradeIsUpToDate)
{
    Product(kProductA, GetParam());
    EXPECT_EQ(Process(), UpToDate);
    EXPECT_EQ(InstallerCalls(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Versions, UpToDateTest, testing::Values(L"3.2.40.0", L"3.2.41.0"));

TEST_F(ProcessPatchTest, AnUnlistedVersionIsTheWrongVersion)
{
    Product(kProductA, L"3.2.5.0");
    EXPECT_EQ(Process(), WrongVersion);
    EXPECT_EQ(InstallerCalls(), 0u);
}

TEST_F(ProcessPatchTest, ThreePartTargetsReadAsZeroBuild)
{
    fake_msi::SetSummaryForFile(Slot(1), L"3.2.40.0;3.2.10", kProductA);
    Product(kProductA, L"3.2.10.0");
    EXPECT_EQ(Process(), WrongVersion);
}

TEST_F(ProcessPatchTest, LeadingZerosAreOrdinaryDigits)
{
    fake_msi::SetSummaryForFile(Slot(1), L"3.2.40.0;3.2.10.00", kProductA);
    Product(kProductA, L"3.2.10.0");
    EXPECT_EQ(Process(), Installed);
}

using RestartCodeTest = ProcessPatchCaseTest<unsigned>;

TEST_P(RestartCodeTest, RestartCodesCountAsInstalled)
{
    Product(kProductA, L"3.2.10.0");
    fake_msi::QueueConfigureResults({GetParam()});
    EXPECT_EQ(Process(), Installed);
}

INSTANTIATE_TEST_SUITE_P(Codes, RestartCodeTest, testing::Values(1641u, 3010u));

TEST_F(ProcessPatchTest, AnInstallerErrorFailsWithItsCodeAsLastError)
{
    Product(kProductA, L"3.2.10.0");
    fake_msi::QueueConfigureResults({1603});
    SetLastError(0);
    EXPECT_EQ(Process(), Failed);
    EXPECT_EQ(GetLastError(), 1603u);
}

TEST_F(ProcessPatchTest, OneInstallerCallPerProductForTheFirstMatchingEntry)
{
    fake_msi::SetSummaryForFile(Slot(1), L"3.2.40.0;3.2.10.0,3.2.10.5,3.2.10.0", kProductA);
    Product(kProductA, L"3.2.10.5");
    EXPECT_EQ(Process(), Installed);
    EXPECT_EQ(InstallerCalls(), 1u);
}

struct TwoProducts {
    const wchar_t* versionA;
    const wchar_t* versionB;
    std::vector<unsigned> installerResults;
    PatchOutcome expected;
    size_t installerCalls;
};

void PrintTo(const TwoProducts& c, std::ostream* out)
{
    *out << testing::PrintToString(c.versionA) << " " << testing::PrintToString(c.versionB);
}

using TwoProductsTest = ProcessPatchCaseTest<TwoProducts>;

TEST_P(TwoProductsTest, TheLastProductThatSetsTheResultDecides)
{
    const TwoProducts& c = GetParam();
    Product(kProductA, c.versionA, L"Alpha");
    Product(kProductB, c.versionB, L"Beta");
    fake_msi::QueueConfigureResults(c.installerResults);
    EXPECT_EQ(Process(), c.expected);
    EXPECT_EQ(InstallerCalls(), c.installerCalls);
    EXPECT_EQ(MessageProductName, L"Beta");
}

INSTANTIATE_TEST_SUITE_P(Cases, TwoProductsTest, testing::Values(
    TwoProducts{L"3.2.40.0", L"3.2.10.0", {}, Installed, 1},         // up to date, then installed
    TwoProducts{L"3.2.40.0", L"3.2.50.0", {}, UpToDate, 0},          // both up to date
    TwoProducts{L"3.2.10.0", L"3.2.5.0", {}, WrongVersion, 1},       // installed, then wrong version
    TwoProducts{L"3.2.5.0", L"3.2.20.0", {}, Installed, 1},          // wrong version, then installed
    TwoProducts{L"3.2.10.0", L"3.2.20.0", {0, 1603}, Installed, 2},  // installed, then an installer error
    TwoProducts{L"3.2.10.0", L"3.2.40.0", {1603}, Failed, 1},        // an installer error, then up to date
    TwoProducts{L"3.2.10.0", L"3.2.20.0", {1603, 1603}, Failed, 2}   // two installer errors
));

TEST_F(ProcessPatchTest, TwoMatchingProductsAreCalledInOrderEachWithItsOwnLog)
{
    Product(kProductA, L"3.2.10.0", L"Alpha");
    Product(kProductB, L"3.2.20.0", L"Beta");
    fake_msi::QueueConfigureResults({0, 1603});
    SetLastError(0);
    EXPECT_EQ(Process(), Installed);
    EXPECT_EQ(GetLastError(), 1603u);
    ASSERT_EQ(InstallerCalls(), 2u);
    EXPECT_EQ(fake_msi::ConfigureCalls()[0].productCode, kProductA);
    EXPECT_NE(fake_msi::ConfigureCalls()[0].logFile.find(L"\\Alpha SP install.log"), std::wstring::npos);
    EXPECT_EQ(fake_msi::ConfigureCalls()[1].productCode, kProductB);
    EXPECT_NE(fake_msi::ConfigureCalls()[1].logFile.find(L"\\Beta SP install.log"), std::wstring::npos);
}

TEST_F(ProcessPatchTest, NoInstalledTargetIsNoProduct)
{
    MessageProductName = L"earlier";
    EXPECT_EQ(Process(), NoProduct);
    EXPECT_EQ(MessageProductName, L"earlier");
}

TEST_F(ProcessPatchTest, UnreadableTargetingDataFailsWith4316)
{
    fake_msi::SetSummaryForFile(Slot(1), L"3.2.40.0", kProductA);
    Product(kProductA, L"3.2.10.0");
    SetLastError(0);
    EXPECT_EQ(Process(), Failed);
    EXPECT_EQ(GetLastError(), 4316u);
    EXPECT_EQ(InstallerCalls(), 0u);
}

TEST_F(ProcessPatchTest, AMissingResourceIsNoPatchAndNothingIsAsked)
{
    EXPECT_EQ(ProcessPatch(L"IDR_MSP_99", true), NoPatch);
    EXPECT_TRUE(fake_msi::Calls().empty());
}

TEST_F(ProcessPatchTest, APatchThatCannotBeCopiedOutIsAFailureNotAMissingPatch)
{
    Product(kProductA, L"3.2.10.0");
    wchar_t saved[MAX_PATH] = L"";
    GetEnvironmentVariableW(L"TMP", saved, MAX_PATH);
    SetEnvironmentVariableW(L"TMP", L"C:\\no such folder\\deeper\\");
    SetLastError(0);
    const PatchOutcome outcome = Process();
    const DWORD error = GetLastError();
    SetEnvironmentVariableW(L"TMP", saved[0] != L'\0' ? saved : nullptr);
    EXPECT_EQ(outcome, Failed);
    EXPECT_NE(error, 0u);
    EXPECT_TRUE(fake_msi::Calls().empty());
}

TEST_F(ProcessPatchTest, TheProductNameIsKeptOnlyWhenAsked)
{
    Product(kProductA, L"3.2.10.0", L"Alpha");
    EXPECT_EQ(ProcessPatch(L"IDR_MSP_1", false), Installed);
    EXPECT_EQ(MessageProductName, L"");
}

TEST_F(ProcessPatchTest, TheTemporaryCopyIsDeletedAndIsThePatchApplied)
{
    Product(kProductA, L"3.2.10.0");
    EXPECT_EQ(Process(), Installed);
    ASSERT_FALSE(fake_msi::OpenedSummaryPaths().empty());
    const std::wstring copy = fake_msi::OpenedSummaryPaths()[0];
    EXPECT_EQ(GetFileAttributesW(copy.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(fake_msi::ConfigureCalls().at(0).commandLine.find(L"PATCH=\"" + copy + L"\""), 0u);
}

} // namespace
