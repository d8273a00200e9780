#include "fake_fixture.h"
#include "install/decision_win.h"
#include "payload/temp_folder.h"
#include "payload/temp_folder_win.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <ostream>
#include <vector>

namespace {

std::string ReadFile(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The patch file an installer call was given.
std::wstring PatchPathOf(const fake_msi::ConfigureCall& call)
{
    const size_t start = call.commandLine.find(L"PATCH=\"") + 7;
    return call.commandLine.substr(start, call.commandLine.find(L'"', start) - start);
}

// Files planted at temporary copy names before a run, removed afterwards.
class PlantedNames {
public:
    ~PlantedNames()
    {
        for (const std::wstring& file : files_)
            DeleteFileW(file.c_str());
        for (const std::wstring& folder : folders_)
            RemoveDirectoryW(folder.c_str());
    }
    std::wstring File(std::uint32_t number)
    {
        files_.push_back(TempCopyName(TempCopyFolder(), number));
        std::ofstream(files_.back().c_str(), std::ios::binary) << "planted";
        return files_.back();
    }
    std::wstring Folder(std::uint32_t number)
    {
        folders_.push_back(TempCopyName(TempCopyFolder(), number));
        CreateDirectoryW(folders_.back().c_str(), nullptr);
        return folders_.back();
    }

private:
    std::vector<std::wstring> files_;
    std::vector<std::wstring> folders_;
};

const wchar_t kTargets[] = L"3.2.40.0;3.2.10.0,3.2.20.0";

class ProcessPatchTest : public FakeInstallerTest {
protected:
    // Slot 1 targets products A and B with kTargets unless a test says otherwise.
    void SetUp() override
    {
        FakeInstallerTest::SetUp();
        EmbedPatch(1, kTargets, std::wstring(kProductA) + L";" + kProductB);
    }
    PatchOutcome Process()
    {
        SlotDecision slot;
        return ProcessPatch(L"IDR_MSP_1", true, slot);
    }
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
    EmbedPatch(1, L"3.2.40.0;3.2.10", kProductA);
    Product(kProductA, L"3.2.10.0");
    EXPECT_EQ(Process(), WrongVersion);
}

TEST_F(ProcessPatchTest, LeadingZerosAreOrdinaryDigits)
{
    EmbedPatch(1, L"3.2.40.0;3.2.10.00", kProductA);
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

// --- another installation holds the installer ------------------------------
std::vector<std::uint64_t> g_callTimes;

void RecordCallTime(const fake_msi::ConfigureCall&)
{
    g_callTimes.push_back(fake_msi::Elapsed());
}

size_t MutexLooks()
{
    return static_cast<size_t>(
        std::count(fake_msi::Calls().begin(), fake_msi::Calls().end(), std::wstring(L"ExecutionMutexHeld")));
}

// Unattended, with a budget of one minute unless a case says otherwise;
// the fake clock counts what the waits take, the installer's calls take no
// time.
struct BusyCase {
    const char* name;
    std::uint64_t mutexHeldUntil;
    std::vector<unsigned> answers;
    PatchOutcome outcome;
    std::vector<std::uint64_t> callTimes;
    std::uint64_t waited;
    unsigned budgetMinutes = 1;
};

void PrintTo(const BusyCase& c, std::ostream* out)
{
    *out << c.name;
}

using BusyInstallerTest = ProcessPatchCaseTest<BusyCase>;

TEST_P(BusyInstallerTest, TheRunWaitsWithinItsBudgetThenCallsOrFailsWith1618)
{
    const BusyCase& c = GetParam();
    Options.quiet = true;
    Options.waitMinutes = c.budgetMinutes;
    Product(kProductA, L"3.2.10.0");
    fake_msi::HoldExecutionMutexUntil(c.mutexHeldUntil);
    fake_msi::QueueConfigureResults(c.answers);
    g_callTimes.clear();
    fake_msi::OnConfigure(RecordCallTime);
    SetLastError(0);
    EXPECT_EQ(Process(), c.outcome);
    EXPECT_EQ(g_callTimes, c.callTimes);
    EXPECT_EQ(fake_msi::Elapsed(), c.waited);
    EXPECT_EQ(InstallerWaitSpent, c.waited);
    if (c.outcome == Failed) {
        EXPECT_EQ(GetLastError(), 1618u);
        EXPECT_EQ(FirstInstallerFailure, 1618u);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, BusyInstallerTest, testing::Values(
    BusyCase{"held for 4.5 s, looked at every second", 4500, {}, Installed, {5000}, 5000},
    BusyCase{"1618 three times, then 0, after 5, 10 and 20 s", 0, {1618, 1618, 1618, 0}, Installed,
             {0, 5000, 15000, 35000}, 35000},
    BusyCase{"held, then 1618: both waits from one budget", 30000, {1618, 1618, 0}, Installed,
             {30000, 35000, 45000}, 45000},
    BusyCase{"1618 to the end: a last call when the budget is spent", 0, std::vector<unsigned>(9, 1618), Failed,
             {0, 5000, 15000, 35000, 60000}, 60000},
    BusyCase{"held past the budget: never called", 600000, {}, Failed, {}, 60000},
    BusyCase{"1618 six times in four minutes: the pause stops doubling at a minute", 0,
             {1618, 1618, 1618, 1618, 1618, 1618, 0}, Installed, {0, 5000, 15000, 35000, 75000, 135000, 195000},
             195000, 4}
));

TEST_F(ProcessPatchTest, WithoutABudgetTheInstallerIsCalledAtOnceAndItsAnswerStands)
{
    Product(kProductA, L"3.2.10.0");
    fake_msi::HoldExecutionMutexUntil(600000);
    fake_msi::QueueConfigureResults({1618});
    EXPECT_EQ(Process(), Failed);
    EXPECT_EQ(InstallerCalls(), 1u);
    EXPECT_EQ(MutexLooks(), 1u);  // the failure hint's look only: no wait
    EXPECT_EQ(fake_msi::Elapsed(), 0u);
}

TEST_F(ProcessPatchTest, OneInstallerCallPerProductForTheFirstMatchingEntry)
{
    EmbedPatch(1, L"3.2.40.0;3.2.10.0,3.2.10.5,3.2.10.0", kProductA);
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
    EmbedPatch(1, L"3.2.40.0", kProductA);
    Product(kProductA, L"3.2.10.0");
    SetLastError(0);
    EXPECT_EQ(Process(), Failed);
    EXPECT_EQ(GetLastError(), 4316u);
    EXPECT_EQ(InstallerCalls(), 0u);
}

TEST_F(ProcessPatchTest, AMissingResourceIsNoPatchAndNothingIsAsked)
{
    SlotDecision slot;
    EXPECT_EQ(ProcessPatch(L"IDR_MSP_99", true, slot), NoPatch);
    EXPECT_TRUE(fake_msi::Calls().empty());
}

TEST_F(ProcessPatchTest, APatchThatCannotBeCopiedOutIsAFailureNotAMissingPatch)
{
    Product(kProductA, L"3.2.10.0");
    PlantedNames planted;
    planted.File(7);
    fake_names::Script(std::vector<std::uint32_t>(100000, 7));  // never a free name
    SetLastError(0);
    EXPECT_EQ(Process(), Failed);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(InstallerCalls(), 0u);
}

// Names that another account placed in the temporary folder before the
// copy was made are never opened, whatever they are; the copy takes the
// next free name.
TEST_F(ProcessPatchTest, TakenNamesAreSkippedAndLeftAsTheyWere)
{
    Product(kProductA, L"3.2.10.0");
    PlantedNames planted;
    // Far from the names other tests leave behind.
    const std::wstring file = planted.File(1000001);
    const std::wstring folder = planted.Folder(1000002);
    fake_names::Script({1000001, 1000002, 1000003});
    EXPECT_EQ(Process(), Installed);
    ASSERT_EQ(InstallerCalls(), 1u);
    EXPECT_EQ(PatchPathOf(fake_msi::ConfigureCalls()[0]), TempCopyName(TempCopyFolder(), 1000003));
    EXPECT_EQ(ReadFile(file), "planted");
    EXPECT_TRUE(DirectoryExists(folder));
}

TEST_F(ProcessPatchTest, ARunStillSucceedsWhenManyNamesAreTaken)
{
    Product(kProductA, L"3.2.10.0");
    PlantedNames planted;
    std::vector<std::uint32_t> numbers;
    for (std::uint32_t number = 2000001; number <= 2000301; ++number)
        numbers.push_back(number);
    for (size_t i = 0; i + 1 < numbers.size(); ++i)
        planted.File(numbers[i]);
    fake_names::Script(numbers);
    EXPECT_EQ(Process(), Installed);
    ASSERT_EQ(InstallerCalls(), 1u);
    EXPECT_EQ(PatchPathOf(fake_msi::ConfigureCalls()[0]), TempCopyName(TempCopyFolder(), numbers.back()));
}

// Nothing to install: no copy is even attempted, so an idle run costs no
// write of the patch.
TEST_F(ProcessPatchTest, NothingDueWritesNoCopy)
{
    const struct {
        const char* name;
        const wchar_t* version;  // nullptr: not installed
        PatchOutcome outcome;
    } rows[] = {
        {"up to date", L"3.2.40.0", UpToDate},
        {"wrong version", L"3.2.5.0", WrongVersion},
        {"no product", nullptr, NoProduct},
    };
    for (const auto& row : rows) {
        fake_msi::Reset();
        fake_names::Reset();
        if (row.version != nullptr)
            Product(kProductA, row.version);
        EXPECT_EQ(Process(), row.outcome) << row.name;
        EXPECT_EQ(fake_names::Drawn(), 0) << row.name;
    }
}

TEST_F(ProcessPatchTest, TheProductNameIsKeptOnlyWhenAsked)
{
    Product(kProductA, L"3.2.10.0", L"Alpha");
    SlotDecision slot;
    EXPECT_EQ(ProcessPatch(L"IDR_MSP_1", false, slot), Installed);
    EXPECT_EQ(MessageProductName, L"");
}

std::string g_copyAtCall;

TEST_F(ProcessPatchTest, TheInstallerGetsACopyOfThePatchWhichIsThenDeleted)
{
    Product(kProductA, L"3.2.10.0");
    g_copyAtCall.clear();
    fake_msi::OnConfigure([](const fake_msi::ConfigureCall& call) { g_copyAtCall = ReadFile(PatchPathOf(call)); });
    EXPECT_EQ(Process(), Installed);
    ASSERT_EQ(InstallerCalls(), 1u);
    const std::vector<std::uint8_t> embedded = PatchImage(kTargets, std::wstring(kProductA) + L";" + kProductB);
    EXPECT_EQ(g_copyAtCall, std::string(embedded.begin(), embedded.end()));
    const std::wstring copy = PatchPathOf(fake_msi::ConfigureCalls()[0]);
    EXPECT_EQ(GetFileAttributesW(copy.c_str()), INVALID_FILE_ATTRIBUTES);
}

} // namespace
