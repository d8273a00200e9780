#include "payload/targeting.h"

#include <gtest/gtest.h>

namespace {

TEST(Keywords, SplitsAtTheFirstSemicolon)
{
    std::wstring upgrade, targets;
    ASSERT_TRUE(SplitKeywords(L"2.5.120.0;2.5.0.0,2.5.10.0", upgrade, targets));
    EXPECT_EQ(upgrade, L"2.5.120.0");
    EXPECT_EQ(targets, L"2.5.0.0,2.5.10.0");

    ASSERT_TRUE(SplitKeywords(L"a;b;c", upgrade, targets));
    EXPECT_EQ(upgrade, L"a");
    EXPECT_EQ(targets, L"b;c");

    ASSERT_TRUE(SplitKeywords(L"2.5.120.0;", upgrade, targets));
    EXPECT_EQ(upgrade, L"2.5.120.0");
    EXPECT_EQ(targets, L"");
}

TEST(Keywords, RefusesAValueWithoutUsableSemicolon)
{
    for (const wchar_t* value : {L"2.5.120.0", L"", L";2.5.0.0", L";"}) {
        std::wstring upgrade = L"old upgrade", targets = L"old targets";
        EXPECT_FALSE(SplitKeywords(value, upgrade, targets)) << value;
        EXPECT_EQ(upgrade, L"old upgrade");
        EXPECT_EQ(targets, L"old targets");
    }
}

TEST(Keywords, TargetVersionsSplitAtEveryComma)
{
    using Versions = std::vector<std::wstring>;
    EXPECT_EQ(SplitTargetVersions(L"2.5.0.0,2.5.10.0"), (Versions{L"2.5.0.0", L"2.5.10.0"}));
    EXPECT_EQ(SplitTargetVersions(L"2.5.0.0"), (Versions{L"2.5.0.0"}));
    EXPECT_EQ(SplitTargetVersions(L"a,,b"), (Versions{L"a", L"", L"b"}));
    EXPECT_EQ(SplitTargetVersions(L"a,"), (Versions{L"a", L""}));
    EXPECT_EQ(SplitTargetVersions(L""), (Versions{L""}));
    EXPECT_EQ(SplitTargetVersions(L"b;c"), (Versions{L"b;c"}));
}

struct TemplateRow {
    const wchar_t* templateValue;
    std::vector<std::wstring> codes;
};

TEST(TemplateProductCodes, WalkTable)
{
    const TemplateRow rows[] = {
        {L"X;Y;Z", {L"X", L"Y", L"Z"}},
        {L"X", {L"X"}},
        {L"X;", {L"X"}},
        {L"X;Y;", {L"X", L"Y"}},
        {L"", {}},
        {L";X", {}},
        {L";", {}},
        {L"X;;Y", {L"X"}},
        {L"X;X", {L"X", L"X"}},
        {L" {a} ; {B}", {L" {a} ", L" {B}"}},
    };
    for (const TemplateRow& row : rows)
        EXPECT_EQ(TemplateProductCodes(row.templateValue), row.codes) << row.templateValue;
}

} // namespace
