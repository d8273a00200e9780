#include "app/uninstall_run_win.h"
#include "catalogue_texts.h"
#include "fake_fixture.h"
#include "install/failure_hints.h"
#include "install/msi_api.h"
#include "install/patch_removal.h"

namespace {

// Slot n carries patch {0000000n-1111-...} for product {0000000n-0000-...}
// at 2.0.0.0, which has it applied unless a test says otherwise.
std::wstring ProductOfSlot(int slot)
{
    wchar_t code[64];
    wsprintfW(code, L"{%08d-0000-0000-0000-000000000000}", slot);
    return code;
}

std::wstring PatchOfSlot(int slot)
{
    wchar_t code[64];
    wsprintfW(code, L"{%08d-1111-0000-0000-000000000000}", slot);
    return code;
}

class RunUninstallTest : public FakeInstallerTest {
protected:
    void SetUp() override
    {
        FakeInstallerTest::SetUp();
        fake_patches::Reset();
        Options.installMode = false;
        Options.uninstallMode = true;
        fake_msi::RemovePatchesOnSuccess();
    }
    // Slot n, its product, and the patch applied to it.
    static void Carry(int slot, const std::wstring& products = L"")
    {
        EmbedPatch(slot, L"2.0.0.0;1.0.0.0", products.empty() ? ProductOfSlot(slot) : products, PatchOfSlot(slot));
        fake_msi::AddProduct(ProductOfSlot(slot), 5, L"2.0.0.0", L"Product " + std::to_wstring(slot), L"1033");
        Applied(slot, ProductOfSlot(slot));
    }
    static fake_msi::AppliedPatch& Applied(int slot, const std::wstring& product, unsigned state = 1)
    {
        auto& patches = fake_msi::ProductOf(product).appliedPatches;
        patches.push_back({PatchOfSlot(slot), L"", state, L"1"});
        return patches.back();
    }
    // Slot 3's patch on product 1, registered until product 2's call makes it applied.
    static void SlotThreeAppliedByProductTwosCall()
    {
        EmbedPatch(3, L"2.0.0.0;1.0.0.0", ProductOfSlot(1), PatchOfSlot(3));
        Applied(3, ProductOfSlot(1), 8);
        fake_msi::OnConfigure([](const fake_msi::ConfigureCall& call) {
            if (call.productCode == ProductOfSlot(2))
                fake_msi::ProductOf(ProductOfSlot(1)).appliedPatches.back().state = 1;
        });
    }
    // Each removing call: its product and the patches it names.
    static std::vector<std::wstring> RemovingCalls()
    {
        std::vector<std::wstring> calls;
        for (const auto& call : fake_msi::ConfigureCalls()) {
            const size_t from = call.commandLine.find(L"MSIPATCHREMOVE=\"") + 16;
            calls.push_back(call.productCode + L" " +
                            call.commandLine.substr(from, call.commandLine.find(L'"', from) - from));
        }
        return calls;
    }
    // "IDR_MSP_n PRODUCT verdict" for every product of every slot, in the run's order.
    std::vector<std::wstring> Verdicts() const
    {
        std::vector<std::wstring> verdicts;
        for (const SlotRecord& slot : run_.slots) {
            for (const ProductRecord& product : slot.products)
                verdicts.push_back(slot.resourceName + L" " + product.productCode + L" " +
                                   RemovalVerdictName(product.removal.verdict));
        }
        return verdicts;
    }
    // The failure's box, naming the product, with 1603.
    static std::wstring FailedBox(const wchar_t* product, const wchar_t* code = L"1603")
    {
        std::wstring box = EnglishText(IDS_UNINSTALL_FAILED, product);
        return box.replace(box.find(L"%d"), 2, code);
    }
    std::wstring Box() const
    {
        EXPECT_EQ(fake_boxes::Shown().size(), 1u);
        return fake_boxes::Shown().empty() ? L"" : fake_boxes::Shown().back().text;
    }
    RunRecord run_;
};

// Slot 15 down to 1; one call per product naming every patch of this
// wrapper it holds, in that order: one transaction, at most one restart.
TEST_F(RunUninstallTest, OneCallPerProductNamesItsPatchesFromTheLastSlot)
{
    Carry(1);
    Carry(2, ProductOfSlot(1));
    Applied(2, ProductOfSlot(1));
    Carry(3);
    fake_msi::QueueConfigureResults({3010, 0});
    EXPECT_EQ(RunUninstall(run_, false), 3010u);
    EXPECT_EQ(EventOf(run_), L"202 information");
    EXPECT_EQ(RemovingCalls(), (std::vector<std::wstring>{ProductOfSlot(3) + L" " + PatchOfSlot(3),
                                                          ProductOfSlot(1) + L" " + PatchOfSlot(2) + L";" +
                                                              PatchOfSlot(1)}));
    EXPECT_EQ(Verdicts(), (std::vector<std::wstring>{L"IDR_MSP_3 " + ProductOfSlot(3) + L" removed",
                                                     L"IDR_MSP_2 " + ProductOfSlot(1) + L" removed",
                                                     L"IDR_MSP_1 " + ProductOfSlot(1) + L" removed"}));
    EXPECT_EQ(run_.overall, Removed);
    EXPECT_EQ(Box(), EnglishText(IDS_UNINSTALL_SUCCEEDED, L"2"));
    EXPECT_EQ(fake_msi::ConfigureCalls()[0].logFile.substr(fake_msi::ConfigureCalls()[0].logFile.rfind(L'\\')),
              L"\\Product 3 SP uninstall.log");
    // One patch of the call that stays fails the product, whichever goes.
    fake_msi::Reset();
    fake_boxes::Reset();
    Carry(1);
    Applied(2, ProductOfSlot(1));
    fake_msi::OnConfigure([](const fake_msi::ConfigureCall& call) {
        auto& patches = fake_msi::ProductOf(call.productCode).appliedPatches;
        patches.erase(patches.begin());  // slot 1's
    });
    run_ = RunRecord();
    EXPECT_EQ(RunUninstall(run_, false), 1603u);
    EXPECT_EQ(Box(), FailedBox(L"Product 1"));
}

// Applied, superseded and obsoleted count as present; registered (not on
// the product), nothing registered, and another user's installation do not.
TEST_F(RunUninstallTest, OnlyAPresentPatchOnAReachableProductIsRemoved)
{
    const struct {
        unsigned state;  // 0: nothing registered
        int productState;
        const wchar_t* verdict;
    } rows[] = {
        {1, 5, L"removed"},       {2, 5, L"removed"},       {4, 5, L"removed"},
        {8, 5, L"not-applied"},   {0, 5, L"not-applied"},   {1, 2, L"not-reachable"},
        {1, -1, L"not-installed"},
    };
    for (const auto& row : rows) {
        fake_msi::Reset();
        fake_msi::RemovePatchesOnSuccess();
        fake_boxes::Reset();
        Carry(1);
        fake_msi::ProductOf(ProductOfSlot(1)).state = row.productState;
        fake_msi::ProductOf(ProductOfSlot(1)).appliedPatches.front().state = row.state;
        if (row.state == 0)
            fake_msi::ProductOf(ProductOfSlot(1)).appliedPatches.clear();
        run_ = RunRecord();
        const bool present = std::wstring(row.verdict) == L"removed";
        EXPECT_EQ(RunUninstall(run_, false), 0u) << row.state;
        EXPECT_EQ(Verdicts(), std::vector<std::wstring>{L"IDR_MSP_1 " + ProductOfSlot(1) + L" " + row.verdict})
            << row.state << " " << row.productState;
        EXPECT_EQ(fake_msi::ConfigureCalls().size(), present ? 1u : 0u) << row.state;
        EXPECT_EQ(Box(), present ? EnglishText(IDS_UNINSTALL_SUCCEEDED, L"1") : EnglishText(IDS_UNINSTALL_NOTHING));
        EXPECT_EQ(EventOf(run_), present ? L"201 information" : L"203 information");
    }
}

// Machine first, then the current user's managed and unmanaged contexts;
// Uninstallable is read where the patch was found.
TEST_F(RunUninstallTest, ThePatchIsLookedForInTheMachineContextFirst)
{
    Carry(1);
    fake_msi::ProductOf(ProductOfSlot(1)).context = kContextUserUnmanaged;
    fake_msi::ProductOf(ProductOfSlot(1)).appliedPatches.front().uninstallable = L"0";
    RunUninstall(run_, true);
    std::wstring contexts;
    for (const std::wstring& call : fake_msi::Calls()) {
        if (call.rfind(L"GetPatchInfoEx " + PatchOfSlot(1), 0) == 0 && call.find(L" State") != std::wstring::npos)
            contexts += call[call.size() - 7];
    }
    EXPECT_EQ(contexts.substr(0, 3), L"412");  // then again, for its cached copy
    EXPECT_EQ(run_.slots[0].products[0].removal.context, kContextUserUnmanaged);
    EXPECT_NE(Box().find(L"user-unmanaged context); the installer registers it as not removable"), std::wstring::npos);
}

// One product's failure stops no other; the first failing answer is the
// exit code and the box's. The state read afterwards decides, whatever the
// answer: a success or 1647 that leaves the patch present (Wine's installer
// does so) is no removal, 1603, and a failure that leaves it absent fails
// nothing.
TEST_F(RunUninstallTest, EachAnswerIsRecordedAndTheStateAfterwardsDecides)
{
    static std::vector<unsigned> statesAfter;  // for slots 3, 2, 1; 0: gone
    const struct {
        std::vector<unsigned> answers;  // for slots 3, 2, 1
        std::vector<unsigned> statesAfter;
        unsigned exitCode;
        const wchar_t* verdicts;
        std::wstring box;
        const wchar_t* event;
    } rows[] = {
        {{0, 1603, 1649}, {0, 1, 1}, 1603, L"removed failed failed", FailedBox(L"Product 2"), L"206 error"},
        {{1646, 0, 1641}, {1, 0, 0}, 1646, L"failed removed removed",
         EnglishText(IDS_UNINSTALL_IMPOSSIBLE, L"Product 3"), L"206 error"},
        {{1647, 3010, 1641}, {0, 0, 0}, 1641, L"not-applied removed removed",
         EnglishText(IDS_UNINSTALL_SUCCEEDED, L"2"), L"202 information"},
        {{1647, 1647, 1647}, {0, 0, 0}, 0, L"not-applied not-applied not-applied", EnglishText(IDS_UNINSTALL_NOTHING),
         L"203 information"},
        {{0, 0, 0}, {2, 4, 1}, 1603, L"not-removed not-removed not-removed", FailedBox(L"Product 3"), L"206 error"},
        {{3010, 1641, 0}, {1, 1, 0}, 1603, L"not-removed not-removed removed", FailedBox(L"Product 3"), L"206 error"},
        {{1647, 0, 0}, {1, 0, 0}, 1603, L"not-removed removed removed", FailedBox(L"Product 3"), L"206 error"},
        {{1603, 0, 0}, {0, 0, 0}, 0, L"not-applied removed removed", EnglishText(IDS_UNINSTALL_SUCCEEDED, L"2"),
         L"201 information"},
        {{1618, 0, 0}, {1, 0, 0}, 1618, L"failed removed removed", FailedBox(L"Product 3", L"1618"), L"205 warning"},
    };
    for (const auto& row : rows) {
        fake_msi::Reset();
        fake_boxes::Reset();
        Carry(1);
        Carry(2);
        Carry(3);
        fake_msi::QueueConfigureResults(row.answers);
        statesAfter = row.statesAfter;
        fake_msi::OnConfigure([](const fake_msi::ConfigureCall& call) {
            auto& patches = fake_msi::ProductOf(call.productCode).appliedPatches;
            patches.front().state = statesAfter[L'3' - call.productCode[8]];
            if (patches.front().state == 0)
                patches.clear();
        });
        run_ = RunRecord();
        EXPECT_EQ(RunUninstall(run_, false), row.exitCode) << row.verdicts;
        EXPECT_EQ(fake_msi::ConfigureCalls().size(), 3u);
        std::wstring verdicts;
        for (const SlotRecord& slot : run_.slots)
            verdicts += (verdicts.empty() ? L"" : L" ") + std::wstring(RemovalVerdictName(slot.products[0].removal.verdict));
        EXPECT_EQ(verdicts, row.verdicts);
        EXPECT_EQ(Box(), row.box);
        EXPECT_EQ(run_.slots[0].products[0].installerResult, row.answers[0]);
        EXPECT_EQ(run_.slots[0].products[0].removal.stateAfter, row.statesAfter[0]);
        EXPECT_EQ(EventOf(run_), row.event);
    }
}

// The state is read again just before a product's call: an earlier call
// may have taken a patch away, or made one applied that was not.
TEST_F(RunUninstallTest, TheStateIsReadAgainBeforeEachCall)
{
    Carry(1);
    Carry(2);
    SlotThreeAppliedByProductTwosCall();
    EXPECT_EQ(RunUninstall(run_, false), 0u);
    EXPECT_EQ(RemovingCalls(), (std::vector<std::wstring>{ProductOfSlot(2) + L" " + PatchOfSlot(2),
                                                          ProductOfSlot(1) + L" " + PatchOfSlot(3) + L";" +
                                                              PatchOfSlot(1)}));
    // ... and the other way round: taken away, product 1 is not called.
    fake_msi::Reset();
    fake_msi::RemovePatchesOnSuccess();
    Carry(1);
    Carry(2);
    fake_msi::OnConfigure([](const fake_msi::ConfigureCall&) {
        fake_msi::ProductOf(ProductOfSlot(1)).appliedPatches.clear();
    });
    run_ = RunRecord();
    EXPECT_EQ(RunUninstall(run_, false), 0u);
    EXPECT_EQ(RemovingCalls(), std::vector<std::wstring>{ProductOfSlot(2) + L" " + PatchOfSlot(2)});
    EXPECT_EQ(run_.slots.back().products[0].removal.verdict, kRemovalNotApplied);  // slot 1
}

// After the calls every product is read again: a patch one of them made
// present is removed in a further round, at most one per slot; what the
// last round leaves is not removed.
TEST_F(RunUninstallTest, APatchPresentAfterTheCallsIsRemovedInAFurtherRound)
{
    Carry(2);
    SlotThreeAppliedByProductTwosCall();
    EXPECT_EQ(RunUninstall(run_, false), 0u);
    EXPECT_EQ(RemovingCalls(), (std::vector<std::wstring>{ProductOfSlot(2) + L" " + PatchOfSlot(2),
                                                          ProductOfSlot(1) + L" " + PatchOfSlot(3)}));
    EXPECT_EQ(Box(), EnglishText(IDS_UNINSTALL_SUCCEEDED, L"2"));
    // Each call brings the other product's patch back: two slots, two further rounds.
    fake_msi::Reset();
    fake_msi::RemovePatchesOnSuccess();
    fake_boxes::Reset();
    fake_patches::Reset();
    Carry(1);
    Carry(2);
    fake_msi::OnConfigure([](const fake_msi::ConfigureCall& call) {
        const int other = call.productCode == ProductOfSlot(1) ? 2 : 1;
        if (fake_msi::ProductOf(ProductOfSlot(other)).appliedPatches.empty())
            Applied(other, ProductOfSlot(other));
    });
    run_ = RunRecord();
    EXPECT_EQ(RunUninstall(run_, false), 1603u);
    EXPECT_EQ(fake_msi::ConfigureCalls().size(), 4u);
    EXPECT_EQ(Box(), FailedBox(L"Product 2"));
}

// The installer cannot remove a patch without its cached copy: a missing
// one is put back before the removing call; the plan says it would and
// writes nothing.
TEST_F(RunUninstallTest, AMissingCopyIsPutBackBeforeTheRemovingCall)
{
    static std::wstring copy;
    static std::string atCall;
    copy = InstallerCachePath(L"removed.msp");
    Carry(1);
    fake_msi::ProductOf(ProductOfSlot(1)).appliedPatches.front().localPackage = copy;
    EXPECT_EQ(RunUninstall(run_, true), 1u);
    EXPECT_NE(Box().find(L"(" + copy + L"); would put back from this wrapper"), std::wstring::npos);
    EXPECT_EQ(FileContent(copy), "");
    fake_msi::OnConfigure([](const fake_msi::ConfigureCall&) { atCall = FileContent(copy); });
    run_ = RunRecord();
    EXPECT_EQ(RunUninstall(run_, false), 0u);
    const std::vector<std::uint8_t> carried = PatchImage(L"2.0.0.0;1.0.0.0", ProductOfSlot(1), PatchOfSlot(1));
    EXPECT_EQ(atCall, std::string(carried.begin(), carried.end()));
    EXPECT_EQ(run_.slots.at(0).products.at(0).putBacks.at(0).action, kPutBackDone);
    DeleteFileW(copy.c_str());
}

// The plan reads as the run does and changes nothing: 1 when something
// would be removed, else 0; its box unless /q.
TEST_F(RunUninstallTest, ThePlanChangesNothing)
{
    Carry(1);
    Carry(2);
    fake_msi::ProductOf(ProductOfSlot(2)).appliedPatches.clear();
    // A removal needs the product's cached package: the plan says it is gone.
    fake_msi::ProductOf(ProductOfSlot(1)).properties[L"LocalPackage"] = L"C:\\gone\\1.msi";
    EXPECT_EQ(RunUninstall(run_, true), 1u);
    EXPECT_TRUE(fake_msi::ConfigureCalls().empty());
    EXPECT_EQ(Verdicts(), (std::vector<std::wstring>{L"IDR_MSP_2 " + ProductOfSlot(2) + L" not-applied",
                                                     L"IDR_MSP_1 " + ProductOfSlot(1) + L" due"}));
    EXPECT_NE(Box().find(L"\twould be removed (applied, machine context)\n\t\t" +
                         FailureHintText({kHintProductPackageMissing, L"C:\\gone\\1.msi"})),
              std::wstring::npos);
    EXPECT_EQ(fake_boxes::Shown()[0].caption, L"What if");
    EXPECT_EQ(EventOf(run_, true), L"401 information");
    fake_msi::ProductOf(ProductOfSlot(1)).appliedPatches.clear();
    Options.quiet = true;
    run_ = RunRecord();
    EXPECT_EQ(RunUninstall(run_, true), 0u);
    EXPECT_EQ(fake_boxes::Shown().size(), 1u);
    EXPECT_EQ(EventOf(run_, true), L"403 information");
    // A patch whose targeting cannot be read ends the plan with that error.
    fake_patches::Set(2, {'s', 'l', 'o', 't'});
    run_ = RunRecord();
    EXPECT_EQ(RunUninstall(run_, true), 1620u);
    EXPECT_EQ(EventOf(run_, true), L"406 warning");
}

} // namespace
