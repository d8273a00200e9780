#include "app/exit_code.h"
#include "app/install_run_win.h"
#include "app/whatif_win.h"
#include "catalogue_texts.h"
#include "fake_fixture.h"
#include "flush_file_fake.h"
#include "install/cache_repair.h"
#include "install/configure_win.h"
#include "install/decision.h"
#include "install/failure_hints.h"
#include "install/failure_hints_win.h"
#include "install/msi_api.h"
#include "scratch_folder.h"
#include "shared/run_log_win.h"
#include "shared/utf8_text.h"

#include <algorithm>

namespace {

// Slot n targets its own product, at 1.0.0.0 unless a test says otherwise;
// every patch brings its product to 2.0.0.0.
std::wstring ProductOfSlot(int slot)
{
    wchar_t code[64];
    wsprintfW(code, L"{%08d-0000-0000-0000-000000000000}", slot);
    return code;
}

// The installer really moves the version, so rollback finds the product at
// the upgrade version afterwards.
void MoveVersionOnInstall(const fake_msi::ConfigureCall& call)
{
    if (call.commandLine.compare(0, 6, L"PATCH=") == 0)
        fake_msi::SetProductVersion(call.productCode, L"2.0.0.0");
}

class RunInstallTest : public FakeInstallerTest {
protected:
    void SetUp() override
    {
        FakeInstallerTest::SetUp();
        fake_msi::OnConfigure(MoveVersionOnInstall);
        for (int slot = 1; slot <= kPatchSlotCount; ++slot) {
            EmbedPatch(slot, L"2.0.0.0;1.0.0.0", ProductOfSlot(slot));
            fake_msi::AddProduct(ProductOfSlot(slot), 5, L"2.0.0.0", L"Product " + std::to_wstring(slot), L"1033");
        }
    }
    static void Due(int slot) { fake_msi::SetProductVersion(ProductOfSlot(slot), L"1.0.0.0"); }
    static void Wrong(int slot) { fake_msi::SetProductVersion(ProductOfSlot(slot), L"1.5.0.0"); }

    // Products in the order of their installer calls, install or removal.
    static std::vector<std::wstring> CallsOf(const wchar_t* property)
    {
        std::vector<std::wstring> products;
        for (const auto& call : fake_msi::ConfigureCalls()) {
            if (call.commandLine.compare(0, wcslen(property), property) == 0)
                products.push_back(call.productCode);
        }
        return products;
    }
    // Every product's verdict, slot by slot, with its slot and product code.
    static std::vector<std::wstring> VerdictsOf(const RunRecord& run)
    {
        std::vector<std::wstring> verdicts;
        for (const SlotRecord& slot : run.slots) {
            for (const ProductRecord& product : slot.products)
                verdicts.push_back(slot.resourceName + L" " + product.productCode + L" " +
                                   std::to_wstring(product.verdict));
        }
        return verdicts;
    }
    // Each rolled-back slot's products that keep its patch, and their versions.
    static std::vector<std::wstring> KeptOf(const RunRecord& run)
    {
        std::vector<std::wstring> kept;
        for (const SlotRecord& slot : run.slots) {
            for (const KeptPatch& product : slot.keptApplied)
                kept.push_back(slot.resourceName + L" " + product.productCode + L" " + product.version);
        }
        return kept;
    }
    // The plan, then the run on the same machine: the plan changes nothing,
    // names the products the run patches and removes again, in order, and
    // ends with `planCode` (1 where a run that patches ends with 0); their
    // events are `events`, "PLAN / RUN" (see EventOf).
    unsigned PlanThenRun(unsigned planCode, const std::wstring& events)
    {
        plan_ = PlanInstall();
        EXPECT_TRUE(fake_msi::ConfigureCalls().empty());
        EXPECT_EQ(fake_names::Drawn(), 0);
        std::vector<std::wstring> patched;
        std::vector<std::wstring> removed;
        for (const SlotRecord& slot : plan_.slots) {
            for (const ProductRecord& product : slot.products) {
                if (product.verdict == kVerdictApply)
                    patched.push_back(product.productCode);
            }
            for (const Removal& removal : slot.removedAgain)
                removed.push_back(removal.productCode);
        }
        const unsigned exitCode = RunInstall(run_);
        EXPECT_EQ(VerdictsOf(plan_), VerdictsOf(run_));
        EXPECT_EQ(KeptOf(plan_), KeptOf(run_));
        EXPECT_EQ(CallsOf(L"PATCH="), patched);
        EXPECT_EQ(CallsOf(L"MSIPATCHREMOVE="), removed);
        EXPECT_EQ(plan_.exitCode, planCode);
        EXPECT_EQ(EventOf(plan_, true) + L" / " + EventOf(run_), events);
        return exitCode;
    }
    RunRecord plan_;
    RunRecord run_;

    // A run record in which the install run installed the slots given.
    static RunRecord InstalledSlots(std::vector<int> slots)
    {
        RunRecord run;
        for (int slot : slots) {
            run.slots.emplace_back();
            run.slots.back().resourceName = PatchResourceName(slot);
            run.slots.back().outcome = Installed;
        }
        return run;
    }

    static std::wstring OnlyBoxCaption()
    {
        EXPECT_EQ(fake_boxes::Shown().size(), 1u);
        return fake_boxes::Shown().empty() ? L"" : fake_boxes::Shown()[0].caption;
    }
};

TEST_F(RunInstallTest, AnInstalledPatchIsReportedAndKept)
{
    Due(1);
    PlanThenRun(1, L"301 information / 101 information");
    EXPECT_EQ(OnlyBoxCaption(), EnglishText(IDS_CAPTION_SUCCESS));
    EXPECT_EQ(fake_boxes::Shown()[0].text, EnglishText(IDS_INSTALL_SUCCEEDED, L"Product 15"));
    EXPECT_TRUE(CallsOf(L"MSIPATCHREMOVE=").empty());
}

TEST_F(RunInstallTest, TheExitCodeCarriesARestartRequestAcrossPatches)
{
    Due(1);
    Due(2);
    Due(3);
    fake_msi::QueueConfigureResults({3010, 0, 0});
    EXPECT_EQ(RunInstall(run_), 3010u);
    EXPECT_EQ(OnlyBoxCaption(), EnglishText(IDS_CAPTION_SUCCESS));
    EXPECT_EQ(EventOf(run_), L"102 information");
}

TEST_F(RunInstallTest, TheExitCodeOfAFailureIsTheInstallersCode)
{
    Due(1);
    Due(2);
    fake_msi::QueueConfigureResults({1641, 1618});
    EXPECT_EQ(RunInstall(run_), 1618u);
    EXPECT_EQ(EventOf(run_), L"107 error");  // slot 1's patch removed again
}

TEST_F(RunInstallTest, AnInstallerBusyAtTheFirstCallIsABusyRun)
{
    Due(1);
    fake_msi::QueueConfigureResults({1618});
    EXPECT_EQ(RunInstall(run_), 1618u);
    EXPECT_EQ(EventOf(run_), L"105 warning");
}

// The box speaks of each patch as a whole; the exit code counts every
// product, so the first run already tells what the next would find.
TEST_F(RunInstallTest, APatchThatFailsOnOneProductIsNoSuccessForTheExitCode)
{
    EmbedPatch(1, L"2.0.0.0;1.0.0.0", std::wstring(kProductA) + L";" + kProductB);
    fake_msi::AddProduct(kProductA, 5, L"1.0.0.0", L"Alpha", L"1033");
    fake_msi::AddProduct(kProductB, 5, L"1.0.0.0", L"Beta", L"1033");
    fake_msi::QueueConfigureResults({1603, 0});
    EXPECT_EQ(RunInstall(run_), 1603u);
    EXPECT_EQ(OnlyBoxCaption(), EnglishText(IDS_CAPTION_SUCCESS));
    EXPECT_EQ(EventOf(run_), L"106 error");
}

TEST_F(RunInstallTest, AProductLeftAtAVersionThePatchDoesNotServeIs1642)
{
    EmbedPatch(1, L"2.0.0.0;1.0.0.0", std::wstring(kProductA) + L";" + kProductB);
    fake_msi::AddProduct(kProductA, 5, L"1.5.0.0", L"Alpha", L"1033");
    fake_msi::AddProduct(kProductB, 5, L"1.0.0.0", L"Beta", L"1033");
    EXPECT_EQ(PlanThenRun(1642, L"304 warning / 104 warning"), 1642u);
    EXPECT_EQ(OnlyBoxCaption(), EnglishText(IDS_CAPTION_SUCCESS));
}

// The installer's success is checked against the version it leaves: a
// patch whose transforms stop short of the upgrade version is no success
// for the exit code, though the box speaks of the patch as installed.
TEST_F(RunInstallTest, AnInstallThatLeavesTheProductBelowTheUpgradeVersionIs1642)
{
    fake_msi::OnConfigure([](const fake_msi::ConfigureCall&) {});
    Due(1);
    EXPECT_EQ(RunInstall(run_), 1642u);
    EXPECT_EQ(OnlyBoxCaption(), EnglishText(IDS_CAPTION_SUCCESS));
    EXPECT_TRUE(CallsOf(L"MSIPATCHREMOVE=").empty());
}

TEST_F(RunInstallTest, NothingDueIsUpToDate)
{
    EXPECT_EQ(PlanThenRun(0, L"303 information / 103 information"), 0u);
    EXPECT_EQ(OnlyBoxCaption(), EnglishText(IDS_CAPTION_UNNECESSARY));
    EXPECT_TRUE(fake_msi::ConfigureCalls().empty());
}

TEST_F(RunInstallTest, UpToDateThenInstalledIsInstalled)
{
    Due(2);
    PlanThenRun(1, L"301 information / 101 information");
    EXPECT_EQ(OnlyBoxCaption(), EnglishText(IDS_CAPTION_SUCCESS));
}

// The slot whose product is at a version the patch was not made for.
class FailingSlotTest : public RunInstallTest, public testing::WithParamInterface<int> {};

TEST_P(FailingSlotTest, AFailureAtEachPositionRollsBackExactlyTheInstalledPatches)
{
    const int failing = GetParam();
    for (int slot = 1; slot < failing; slot += 2)
        Due(slot);  // every other earlier slot installs, the rest are up to date
    Wrong(failing);
    for (int slot = failing + 1; slot <= kPatchSlotCount; ++slot)
        Due(slot);  // never reached

    // Slot 1 installs before every failing slot but itself: then the run removes it again.
    PlanThenRun(1642, failing == 1 ? L"304 warning / 104 warning" : L"304 warning / 107 error");

    std::vector<std::wstring> installed;
    for (int slot = 1; slot < failing; slot += 2)
        installed.push_back(ProductOfSlot(slot));
    EXPECT_EQ(CallsOf(L"PATCH="), installed);
    EXPECT_EQ(CallsOf(L"MSIPATCHREMOVE="), installed);
    ASSERT_EQ(fake_boxes::Shown().size(), 1u);
    EXPECT_EQ(fake_boxes::Shown()[0].text, EnglishText(IDS_WRONG_VERSION, L"Product " + std::to_wstring(failing)));
}

INSTANTIATE_TEST_SUITE_P(Slots, FailingSlotTest, testing::Range(1, kPatchSlotCount + 1));

TEST_F(RunInstallTest, RollbackReachesTheLastSlot)
{
    RunRecord run = InstalledSlots({kPatchSlotCount});
    RollBackInstalled(run);
    EXPECT_EQ(CallsOf(L"MSIPATCHREMOVE="), std::vector<std::wstring>{ProductOfSlot(kPatchSlotCount)});
}

TEST_F(RunInstallTest, AnInstallerErrorShowsItsCodeThenRollsBack)
{
    Due(1);
    Due(2);
    fake_msi::QueueConfigureResults({0, 1603});
    RunInstall(run_);
    EXPECT_EQ(EventOf(run_), L"107 error");
    EXPECT_EQ(OnlyBoxCaption(), EnglishText(IDS_CAPTION_ERROR));
    EXPECT_EQ(fake_boxes::Shown()[0].text, EnglishText(IDS_INSTALL_FAILED, L"1603"));
    EXPECT_EQ(CallsOf(L"MSIPATCHREMOVE="), std::vector<std::wstring>{ProductOfSlot(1)});
    EXPECT_EQ(CallsOf(L"PATCH=").size(), 2u);  // patches 3 to 15 are never looked at
}

TEST_F(RunInstallTest, NoTargetProductIsReportedAndRollsBack)
{
    Due(1);
    fake_msi::ProductOf(ProductOfSlot(2)).state = -1;
    EXPECT_EQ(PlanThenRun(1642, L"304 warning / 107 error"), 1642u);
    EXPECT_EQ(OnlyBoxCaption(), EnglishText(IDS_CAPTION_ERROR));
    EXPECT_EQ(fake_boxes::Shown()[0].text, EnglishText(IDS_NO_PRODUCT));
    EXPECT_EQ(CallsOf(L"MSIPATCHREMOVE="), std::vector<std::wstring>{ProductOfSlot(1)});
}

TEST_F(RunInstallTest, QuietShowsNoBoxButStillRollsBack)
{
    Options.quiet = true;
    Due(1);
    Wrong(2);
    RunInstall(run_);
    EXPECT_TRUE(fake_boxes::Shown().empty());
    EXPECT_EQ(CallsOf(L"MSIPATCHREMOVE="), std::vector<std::wstring>{ProductOfSlot(1)});
}

TEST_F(RunInstallTest, APatchWhoseLaterProductWasWrongIsNotRolledBack)
{
    // Slot 1 patches product A, then finds product B at a wrong version.
    EmbedPatch(1, L"2.0.0.0;1.0.0.0", std::wstring(kProductA) + L";" + kProductB);
    fake_msi::AddProduct(kProductA, 5, L"1.0.0.0", L"Alpha", L"1033");
    fake_msi::AddProduct(kProductB, 5, L"1.5.0.0", L"Beta", L"1033");
    PlanThenRun(1642, L"304 warning / 104 warning");
    EXPECT_EQ(CallsOf(L"PATCH="), std::vector<std::wstring>{kProductA});
    EXPECT_TRUE(CallsOf(L"MSIPATCHREMOVE=").empty());
}

TEST_F(RunInstallTest, ARemovalAnswered1618IsMadeAgain)
{
    Options.quiet = true;
    Options.waitMinutes = 10;
    Due(1);
    Due(2);
    fake_msi::QueueConfigureResults({0, 1603, 1618, 0});
    EXPECT_EQ(RunInstall(run_), 1603u);
    EXPECT_EQ(CallsOf(L"MSIPATCHREMOVE="), (std::vector<std::wstring>{ProductOfSlot(1), ProductOfSlot(1)}));
    EXPECT_EQ(fake_msi::Elapsed(), 5000u);
}

// Another installation starts after slot 1's: slot 2 waits the whole
// minute, and the removal of slot 1 finds nothing left to wait with.
TEST_F(RunInstallTest, ARemovalWaitsOnlyWithinWhatIsLeftOfTheBudget)
{
    Options.quiet = true;
    Options.waitMinutes = 1;
    Due(1);
    Due(2);
    fake_msi::OnConfigure([](const fake_msi::ConfigureCall& call) {
        MoveVersionOnInstall(call);
        fake_msi::HoldExecutionMutexUntil(fake_msi::Elapsed() + 600000);
    });
    EXPECT_EQ(RunInstall(run_), 1618u);
    EXPECT_EQ(CallsOf(L"PATCH="), std::vector<std::wstring>{ProductOfSlot(1)});
    EXPECT_TRUE(CallsOf(L"MSIPATCHREMOVE=").empty());
    EXPECT_EQ(fake_msi::Elapsed(), 60000u);
}

// Slot 2 serves the version slot 1 brings: the plan takes the product there.
TEST_F(RunInstallTest, AChainedPairIsPlannedAsTheRunInstallsIt)
{
    EmbedPatch(2, L"3.0.0.0;2.0.0.0", ProductOfSlot(1));
    Due(1);
    fake_msi::OnConfigure([](const fake_msi::ConfigureCall& call) {
        const bool first = fake_msi::ProductOf(call.productCode).properties[L"VersionString"] == L"1.0.0.0";
        fake_msi::SetProductVersion(call.productCode, first ? L"2.0.0.0" : L"3.0.0.0");
    });
    EXPECT_EQ(PlanThenRun(1, L"301 information / 101 information"), 0u);
    EXPECT_EQ(plan_.exitCode, 1u);
    EXPECT_EQ(PlanVerdictText(plan_.slots[1].products[0]),
              L"would be patched from 2.0.0.0 (as IDR_MSP_1 would leave it) to 3.0.0.0");
}

// The same pair, then a slot whose product is missing: the rollback goes in
// installation order, and slot 1's patch stays, its product now at slot 2's
// version; plan and run say so alike, and the log why.
TEST_F(RunInstallTest, AChainedPairRolledBackKeepsTheFirstPatchAndSaysWhy)
{
    EmbedPatch(2, L"3.0.0.0;2.0.0.0", ProductOfSlot(1));
    Due(1);
    fake_msi::ProductOf(ProductOfSlot(3)).state = -1;
    fake_msi::OnConfigure([](const fake_msi::ConfigureCall& call) {
        const bool first = fake_msi::ProductOf(call.productCode).properties[L"VersionString"] == L"1.0.0.0";
        fake_msi::SetProductVersion(call.productCode, first ? L"2.0.0.0" : L"3.0.0.0");
    });
    EXPECT_EQ(PlanThenRun(1642, L"304 warning / 107 error"), 1642u);
    EXPECT_EQ(KeptOf(run_), std::vector<std::wstring>{L"IDR_MSP_1 " + ProductOfSlot(1) + L" 3.0.0.0"});
    EXPECT_EQ(CallsOf(L"MSIPATCHREMOVE="), std::vector<std::wstring>{ProductOfSlot(1)});
    EXPECT_EQ(KeptOnRollbackText(L"IDR_MSP_1", run_.slots[0].keptApplied[0], run_.slots[0].upgradeVersion),
              L"IDR_MSP_1: the patch stays on product " + ProductOfSlot(1) +
                  L": it stands at 3.0.0.0, not at this patch's 2.0.0.0");
}

// The plan does not wait: the run waits for the other installation, then patches as planned.
TEST_F(RunInstallTest, ABusyInstallerIsPlannedAsTheRunWaitsForIt)
{
    Options.quiet = true;
    Options.waitMinutes = 1;
    Due(1);
    fake_msi::HoldExecutionMutexUntil(4500);
    EXPECT_EQ(PlanThenRun(1, L"301 information / 101 information"), 0u);
    EXPECT_EQ(fake_msi::Elapsed(), 5000u);
}

// The cached packages of a product and of its applied patches that are
// gone: hints in the plan (its box too) and, looked up before the installer
// call, in the run; neither changes a verdict, a call or the exit code.
TEST_F(RunInstallTest, MissingCachedPackagesAreHintsOfThePlanAndOfTheRunBeforeItsCall)
{
    wchar_t present[MAX_PATH];
    GetSystemDirectoryW(present, MAX_PATH);
    const std::wstring patchGone = L"{CCCCCCCC-0000-0000-0000-000000000003}";
    fake_msi::Product& product = fake_msi::ProductOf(ProductOfSlot(1));
    product.properties[L"LocalPackage"] = L"C:\\gone\\1a.msi";
    // The missing one's path is the longer: each lookup needs the whole buffer.
    const std::wstring gone = L"C:\\gone\\" + std::wstring(std::wcslen(present), L'x') + L"\\3c.msp";
    product.appliedPatches = {{L"{DDDDDDDD-0000-0000-0000-000000000004}", present}, {patchGone, gone}};
    Due(1);
    RunWhatIf(plan_);
    ASSERT_FALSE(fake_boxes::Shown().empty());
    EXPECT_NE(fake_boxes::Shown()[0].text.find(L"to 2.0.0.0\n\t\t" +
                                               FailureHintText({kHintProductPackageMissing, L"C:\\gone\\1a.msi"})),
              std::wstring::npos);
    EXPECT_EQ(PlanThenRun(1, L"301 information / 101 information"), 0u);
    const std::vector<std::wstring> expected = {L"0 C:\\gone\\1a.msi", L"1 " + patchGone + L" " + gone};
    for (const RunRecord* record : {&plan_, &run_}) {
        std::vector<std::wstring> packageHints;
        for (const FailureHint& hint : record->slots.at(0).products.at(0).hints) {
            if (hint.kind <= kHintPatchPackageMissing)
                packageHints.push_back(std::to_wstring(hint.kind) + L" " + hint.detail);
        }
        EXPECT_EQ(packageHints, expected);
    }
    const auto& calls = fake_msi::Calls();
    const auto lastLookUp = std::find(calls.rbegin(), calls.rend(),
                                      L"GetPatchInfoEx " + patchGone + L" " + ProductOfSlot(1) + L" 4 LocalPackage");
    EXPECT_LE(lastLookUp.base(), std::find(calls.begin(), calls.end(), L"ConfigureProductEx " + ProductOfSlot(1)));

    // The product's instance is looked for as the installer looks for one
    // named without a context: managed, machine, then unmanaged.
    const size_t before = calls.size();
    product.context = kContextUserUnmanaged;
    ProductRecord record;
    record.productCode = ProductOfSlot(1);
    LookUpFailureHints(record, 0);
    std::wstring contexts;
    for (size_t i = before; i < calls.size(); ++i) {
        if (calls[i].rfind(L"GetProductInfoEx " + record.productCode, 0) == 0)
            contexts += calls[i].back();
    }
    EXPECT_EQ(contexts, L"142");
    EXPECT_EQ(record.hints.size(), 2u);  // found there
}

// The installer caches a patch under the Windows folder while the copy it
// was given still stands: that volume needs twice the patch, the copies'
// volume once.
TEST_F(RunInstallTest, TheSystemVolumeNeedsTwiceThePatch)
{
    wchar_t windows[MAX_PATH];
    GetSystemWindowsDirectoryW(windows, MAX_PATH);
    ULARGE_INTEGER available = {};
    ASSERT_TRUE(GetDiskFreeSpaceExW(windows, &available, nullptr, nullptr));
    ProductRecord record;
    record.productCode = ProductOfSlot(1);
    LookUpFailureHints(record, available.QuadPart / 4 * 3);
    std::vector<int> kinds;
    for (const FailureHint& hint : record.hints) {
        if (hint.kind == kHintCopiesVolumeLow || hint.kind == kHintSystemVolumeLow)
            kinds.push_back(hint.kind);
    }
    EXPECT_EQ(kinds, std::vector<int>{kHintSystemVolumeLow});
}

// Only a missing copy the installer registers for a present patch of this
// wrapper, at a .msp name directly inside the installer folder, is
// written, and before the installer call; each refusal or failure is
// logged, and the hint stays and says why.
TEST_F(RunInstallTest, OnlyAMissingRegisteredCopyDirectlyInTheInstallerFolderIsWritten)
{
    const std::wstring patchCode = L"{11111111-0000-0000-0000-000000000001}";
    EmbedPatch(1, L"2.0.0.0;1.0.0.0", ProductOfSlot(1), patchCode);
    fake_msi::Product& product = fake_msi::ProductOf(ProductOfSlot(1));
    wchar_t system[MAX_PATH];
    product.properties[L"LocalPackage"] = std::wstring(system, GetSystemDirectoryW(system, MAX_PATH));
    ScratchFolder scratch;
    OpenRunLog(scratch.Path() + L"\\run.log");
    const std::wstring cache = InstallerCachePath(L"");
    CreateDirectoryW((cache + L"sub").c_str(), nullptr);
    std::ofstream((cache + L"present.msp").c_str()) << "another's";
    const struct {
        std::wstring path;
        unsigned state;
        int action;  // -1: none recorded
        PutBackProblem problem;
    } rows[] = {
        {cache + L"present.msp", 1, -1, kPutBackNoProblem},
        {cache + L"registered.msp", 8, -1, kPutBackNoProblem},
        {scratch.Path() + L"\\other.msp", 1, kPutBackRefused, kPathOtherFolder},
        {cache + L"sub\\deeper.msp", 1, kPutBackRefused, kPathOtherFolder},
        {cache + L"sub\\..\\dots.msp", 1, kPutBackRefused, kPathDotName},
        {cache + L"package.msi", 1, kPutBackRefused, kPathNotMsp},
        {L"\\\\?\\" + cache + L"device.msp", 1, kPutBackRefused, kPathNotOnDrive},
        {cache + L"flush.msp", 1, kPutBackFailed, kWriteFailed},
        {cache + L"fine.msp", 1, kPutBackDone, kPutBackNoProblem},
    };
    const std::vector<std::uint8_t> carried = PatchImage(L"2.0.0.0;1.0.0.0", ProductOfSlot(1), patchCode);
    static std::wstring copy;
    static std::string atCall;
    fake_msi::OnConfigure([](const fake_msi::ConfigureCall&) { atCall = FileContent(copy); });
    for (const auto& row : rows) {
        copy = row.path;
        product.appliedPatches = {{patchCode, row.path, row.state}};
        fake_flush::FailWith(row.problem == kWriteFailed ? ERROR_DISK_FULL : ERROR_SUCCESS);
        ProductRecord record;
        record.productCode = ProductOfSlot(1);
        ConfigurePatch(L"IDR_MSP_1", record, kCallInstall, L"x.msp", 0);
        ASSERT_EQ(record.putBacks.size(), row.action < 0 ? 0u : 1u) << row.path;
        const bool written = row.action == kPutBackDone;
        EXPECT_EQ(atCall, written ? std::string(carried.begin(), carried.end())
                                  : row.state == 1 && row.action < 0 ? "another's" : "")
            << row.path;
        if (row.action < 0)
            continue;
        const PutBack& putBack = record.putBacks[0];
        EXPECT_EQ(putBack.action, row.action) << row.path;
        EXPECT_EQ(putBack.problem, row.problem) << row.path;
        std::wstring hints;
        for (const FailureHint& hint : record.hints)
            hints += hint.kind == kHintPatchPackageMissing ? hint.detail : L"";
        EXPECT_EQ(hints, written ? L"" : patchCode + L" " + row.path + L"; not put back: " + PutBackReason(putBack));
        EXPECT_NE(FileContent(scratch.Path() + L"\\run.log").find(Utf8FromWide(PutBackText(putBack, ProductOfSlot(1)))),
                  std::string::npos) << row.path;
    }
    OpenRunLog(scratch.Path());
    fake_flush::Reset();
    for (const wchar_t* name : {L"present.msp", L"fine.msp"})
        DeleteFileW((cache + name).c_str());
    RemoveDirectoryW((cache + L"sub").c_str());
}

// Unlike /i, the plan honours /q, even for a wrapper without patches.
TEST_F(RunInstallTest, TheQuietPlanShowsNothing)
{
    fake_patches::Reset();
    Options.quiet = true;
    EXPECT_EQ(RunWhatIf(plan_), 1603u);
    EXPECT_TRUE(fake_boxes::Shown().empty());
    EXPECT_EQ(EventOf(plan_, true), L"306 warning");
    Options.quiet = false;
    RunWhatIf(plan_);
    EXPECT_EQ(OnlyBoxCaption(), L"What if");
}

TEST_F(RunInstallTest, RollbackTouchesOnlyProductsExactlyAtTheUpgradeVersion)
{
    RunRecord run = InstalledSlots({1, 2, 3});
    fake_msi::SetProductVersion(ProductOfSlot(1), L"2.0.0.0");
    fake_msi::SetProductVersion(ProductOfSlot(2), L"2.0.0.3");
    fake_msi::SetProductVersion(ProductOfSlot(3), L"1.0.0.0");
    RollBackInstalled(run);
    EXPECT_EQ(CallsOf(L"MSIPATCHREMOVE="), std::vector<std::wstring>{ProductOfSlot(1)});
    EXPECT_EQ(KeptOf(run), (std::vector<std::wstring>{L"IDR_MSP_2 " + ProductOfSlot(2) + L" 2.0.0.3",
                                                      L"IDR_MSP_3 " + ProductOfSlot(3) + L" 1.0.0.0"}));
    EXPECT_NE(fake_msi::ConfigureCalls()[0].logFile.find(L"Product 1 SP rollback.log"), std::wstring::npos);
}

TEST_F(RunInstallTest, RollbackGoesOnAfterARemovalFails)
{
    EmbedPatch(1, L"2.0.0.0;1.0.0.0", std::wstring(kProductA) + L";" + kProductB);
    fake_msi::AddProduct(kProductA, 5, L"2.0.0.0", L"Alpha", L"1033");
    fake_msi::AddProduct(kProductB, 5, L"2.0.0.0", L"Beta", L"1033");
    fake_msi::QueueConfigureResults({1603, 0});
    RunRecord run = InstalledSlots({1});
    RollBackInstalled(run);
    EXPECT_EQ(CallsOf(L"MSIPATCHREMOVE="), (std::vector<std::wstring>{kProductA, kProductB}));
}

TEST_F(RunInstallTest, ThreePartUpgradeVersionsRemoveNothing)
{
    EmbedPatch(1, L"2.0.5;1.0.0.0", ProductOfSlot(1));
    fake_msi::SetProductVersion(ProductOfSlot(1), L"2.0.5.0");
    RunRecord run = InstalledSlots({1});
    RollBackInstalled(run);
    EXPECT_TRUE(fake_msi::ConfigureCalls().empty());
}

} // namespace
