#include "install/installed_targets_win.h"
#include "msi_api_fake.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

const wchar_t kX[] = L"{11111111-1111-1111-1111-111111111111}";
const wchar_t kY[] = L"{22222222-2222-2222-2222-222222222222}";
const wchar_t kZ[] = L"{33333333-3333-3333-3333-333333333333}";

std::vector<std::wstring> CodesOf(const ProductRecords& records)
{
    std::vector<std::wstring> codes;
    for (const auto& record : records)
        codes.push_back(record->productCode);
    return codes;
}

class InstalledTargets : public testing::Test {
protected:
    void SetUp() override { fake_msi::Reset(); }
    // The records for a patch with these Keywords and Template.
    void Find(const std::wstring& keywords, const std::wstring& templateValue)
    {
        PatchTargeting targeting;
        ASSERT_TRUE(SplitKeywords(keywords, targeting.upgradeVersion, targeting.targetVersions));
        targeting.products = templateValue;
        FindInstalledTargets(targeting, records_);
    }
    ProductRecords records_;
};

TEST_F(InstalledTargets, KeepsThePresentProductsInTemplateOrder)
{
    fake_msi::AddProduct(kX, 5, L"3.2.10.0", L"Alpha 2017", L"1031");
    fake_msi::AddProduct(kZ, 5, L"3.2.20.0", L"Zeta", L"1033");

    Find(L"3.2.40.0;3.2.10.0,3.2.20.0", std::wstring(kX) + L";" + kY + L";" + kZ);
    ASSERT_EQ(CodesOf(records_), (std::vector<std::wstring>{kX, kZ}));
    const ProductRecord& x = *records_[0];
    EXPECT_EQ(x.installedVersion, L"3.2.10.0");
    EXPECT_EQ(x.productName, L"Alpha 2017");
    EXPECT_EQ(x.language, L"1031");
    EXPECT_EQ(records_[1]->installedVersion, L"3.2.20.0");
    for (const auto& record : records_) {
        EXPECT_EQ(record->upgradeVersion, L"3.2.40.0");
        EXPECT_EQ(record->targetVersions, L"3.2.10.0,3.2.20.0");
        EXPECT_EQ(record->commandLine, L"");
    }
}

TEST_F(InstalledTargets, AsksTheInstallerInOrder)
{
    fake_msi::AddProduct(kX, 5, L"3.2.10.0", L"Alpha", L"1033");
    Find(L"3.2.40.0;3.2.10.0", std::wstring(kX) + L";" + kY);

    std::vector<std::wstring> productCalls;
    for (const std::wstring& call : fake_msi::Calls()) {
        if (call.find(L"Product") != std::wstring::npos)
            productCalls.push_back(call);
    }
    const std::vector<std::wstring> expected = {
        std::wstring(L"QueryProductState ") + kX,
        std::wstring(L"GetProductInfo ") + kX + L" VersionString",
        std::wstring(L"GetProductInfo ") + kX + L" ProductName",
        std::wstring(L"GetProductInfo ") + kX + L" Language",
        std::wstring(L"QueryProductState ") + kY,
    };
    EXPECT_EQ(productCalls, expected);
}

TEST_F(InstalledTargets, AdvertisedCountsAsPresentOtherStatesDoNot)
{
    fake_msi::AddProduct(kX, 1, L"3.2.10.0", L"Advertised", L"1033");
    fake_msi::AddProduct(kY, 2, L"3.2.10.0", L"Absent", L"1033");
    fake_msi::AddProduct(kZ, 3, L"3.2.10.0", L"Removed", L"1033");
    Find(L"3.2.40.0;", std::wstring(kX) + L";" + kY + L";" + kZ);
    EXPECT_EQ(CodesOf(records_), (std::vector<std::wstring>{kX}));
}

TEST_F(InstalledTargets, RecordsAreAppendedAfterExistingOnes)
{
    fake_msi::AddProduct(kX, 5, L"3.2.10.0", L"Alpha", L"1033");
    records_.push_back(std::make_unique<ProductRecord>());
    Find(L"3.2.40.0;", kX);
    ASSERT_EQ(records_.size(), 2u);
    EXPECT_EQ(records_[1]->productCode, kX);
}

TEST_F(InstalledTargets, AFailedPropertyQueryReadsAsEmpty)
{
    fake_msi::AddProduct(kX, 5, L"3.2.10.0", L"Alpha", L"1033");
    fake_msi::ProductOf(kX).properties.erase(L"Language");
    Find(L"3.2.40.0;", kX);
    ASSERT_EQ(records_.size(), 1u);
    EXPECT_EQ(records_[0]->productName, L"Alpha");
    EXPECT_EQ(records_[0]->language, L"");
}

TEST_F(InstalledTargets, AValueBeyondTheBufferIsCutNotOverrun)
{
    fake_msi::AddProduct(kX, 5, L"3.2.10.0", std::wstring(1500, L'n'), L"1033");
    Find(L"3.2.40.0;", kX);
    ASSERT_EQ(records_.size(), 1u);
    EXPECT_EQ(records_[0]->productName, std::wstring(1023, L'n'));
    EXPECT_EQ(records_[0]->language, L"1033");
}

} // namespace
