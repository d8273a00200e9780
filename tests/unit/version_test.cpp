#include "install/version.h"
#include "install/cache_repair.h"
#include "install/failure_hints.h"

#include <gtest/gtest.h>

namespace {

struct ParseRow {
    const wchar_t* text;
    const wchar_t* expected;
    bool fourParts;  // every part read as written, none for want of a separator
};

const ParseRow kParseRows[] = {
    {L"3.2.10.0", L"3.2.10.0", true},
    {L"3,2,10,0", L"3.2.10.0", true},
    {L"3, 2, 10, 0", L"3.2.10.0", true},
    {L"3.2.40.07", L"3.2.40.7", true},
    {L"3.2.10", L"3.2.0.0", false},
    {L"3.2", L"3.0.0.0", false},
    {L"3", L"0.0.0.0", false},
    {L"", L"0.0.0.0", false},
    {L"3.2.10.0.7", L"3.2.10.0", true},
    {L"3.2..5", L"3.2.0.5", true},
    {L"x3.2.10.0", L"0.2.10.0", true},
    {L"3.2.10.x", L"3.2.10.0", true},
    {L"-1.0.0.0", L"65535.0.0.0", true},
    {L"65536.70000.0.0", L"0.4464.0.0", true},
    {L"99999999999.0.0.0", L"65535.0.0.0", true},
    {L"-99999999999.0.0.0", L"0.0.0.0", true},
    {L"+7.\t\n8.9 .10", L"7.8.9.10", true},
    {L"1.2.3.4 beta", L"1.2.3.4", true},
    {L"1. 2.3.4", L"1.2.3.4", true},
    {L"1 .2.3.4", L"1.2.3.4", true},
    {L"3,2.10", L"3.2.0.0", false},
    {L"3.2.10.", L"3.2.10.0", true},
};

TEST(Version, ParsingTable)
{
    for (const ParseRow& row : kParseRows) {
        EXPECT_EQ(FormatVersion(ParseVersion(row.text)), row.expected) << row.text;
        EXPECT_EQ(VersionHasFourParts(row.text), row.fourParts) << row.text;
    }
}

TEST(Version, ParseLeavesTheCallersTextAlone)
{
    const std::wstring text = L"3,2,10,0";
    ParseVersion(text);
    EXPECT_EQ(text, L"3,2,10,0");
}

TEST(Version, ConstructionKeepsTheLow16Bits)
{
    EXPECT_EQ(FormatVersion(VersionQuad(65536 + 3, -1, 70000, 1)), L"3.65535.4464.1");
    VersionQuad version(1, 2, 3, 4);
    version.Clear();
    EXPECT_TRUE(VersionEqual(version, VersionQuad()));
}

TEST(Version, Ordering)
{
    const VersionQuad a(1, 2, 3, 4);
    EXPECT_FALSE(VersionLess(a, a));
    EXPECT_TRUE(VersionAtLeast(a, a));
    EXPECT_TRUE(VersionEqual(a, VersionQuad(1, 2, 3, 4)));
    EXPECT_TRUE(VersionLess(VersionQuad(1, 2, 9, 9), VersionQuad(1, 3, 0, 0)));
    EXPECT_FALSE(VersionLess(VersionQuad(1, 3, 0, 0), VersionQuad(1, 2, 9, 9)));
    EXPECT_TRUE(VersionLess(VersionQuad(1, 2, 3, 4), VersionQuad(1, 2, 3, 5)));
    EXPECT_FALSE(VersionEqual(VersionQuad(1, 2, 3, 4), VersionQuad(1, 2, 3, 5)));
    EXPECT_TRUE(VersionLess(VersionQuad(2, 0, 0, 0), VersionQuad(10, 0, 0, 0)));
}

TEST(Version, FieldsCompareAsUnsigned)
{
    EXPECT_TRUE(VersionLess(VersionQuad(1, 0, 0, 0), ParseVersion(L"-1.0.0.0")));
    EXPECT_TRUE(VersionAtLeast(ParseVersion(L"-1.0.0.0"), VersionQuad(1, 0, 0, 0)));
}

TEST(Version, Formatting)
{
    EXPECT_EQ(FormatVersion(ParseVersion(L"3.2.10")), L"3.2.0.0");
    EXPECT_EQ(FormatVersion(VersionQuad(65535, 0, 0, 1)), L"65535.0.0.1");
    EXPECT_EQ(FormatVersion(VersionQuad(65535, 65535, 65535, 65535)).size(), 23u);
}

// Failure hints compare sizes as the versions above compare numbers: at the
// edge, and worded so that free never reads as enough.
TEST(FailureHints, SpaceIsLowOnlyBelowWhatIsNeeded)
{
    constexpr std::uint64_t kMegabyte = 1024 * 1024;
    std::vector<FailureHint> hints;
    AddSpaceHint(hints, kHintSystemVolumeLow, L"C:\\", 40 * kMegabyte, 40 * kMegabyte);
    EXPECT_TRUE(hints.empty());
    AddSpaceHint(hints, kHintSystemVolumeLow, L"C:\\", 40 * kMegabyte - 1, 40 * kMegabyte);
    AddSpaceHint(hints, kHintCopiesVolumeLow, L"D:\\", 12 * kMegabyte + 5, 12 * kMegabyte + 6);
    ASSERT_EQ(hints.size(), 2u);
    EXPECT_EQ(hints[0].kind, kHintSystemVolumeLow);
    EXPECT_EQ(hints[0].detail, L"39 MB free on C:\\, 40 MB needed");
    EXPECT_EQ(hints[1].detail, L"12 MB free on D:\\, 13 MB needed");
    EXPECT_EQ(FailureHintText(hints[1]), L"too little free space for the patch's temporary copy (" +
                                             hints[1].detail + L")");
}

// A receipt knows the kinds by these names.
TEST(FailureHints, Names)
{
    const char* const names[] = {"product-package-missing", "patch-package-missing", "copies-volume-low",
                                 "system-volume-low", "installer-busy", "restart-pending"};
    for (int kind = kHintProductPackageMissing; kind <= kHintRestartPending; ++kind)
        EXPECT_STREQ(FailureHintName(static_cast<FailureHintKind>(kind)), names[kind]);
}

// A cached copy is put back only at a plain full path on a drive that names
// a .msp file (the forms the fake installer's run does not try); the
// folder is judged afterwards, opened.
TEST(PutBack, PathRules)
{
    const struct {
        const wchar_t* path;
        PutBackProblem problem;
    } rows[] = {
        {L"c:\\WINDOWS\\installer\\1A2B.MSP", kPutBackNoProblem},
        {L"\\\\server\\share\\1a2b.msp", kPathNotOnDrive},
        {L"C:Windows\\Installer\\1a2b.msp", kPathNotOnDrive},
        {L"C:\\Windows/Installer\\1a2b.msp", kPathNotOnDrive},
        {L"C:\\Windows\\\\Installer\\1a2b.msp", kPathNotOnDrive},
        {L"C:\\Windows\\Installer\\1a2b.msp:stream", kPathNotOnDrive},
        {L"C:\\Windows\\Installer\\.\\1a2b.msp", kPathDotName},
        {L"C:\\Windows\\Installer\\1a2b.msp.exe", kPathNotMsp},
        {L"C:\\Windows\\Installer\\.msp", kPathNotMsp},
    };
    for (const auto& row : rows) {
        std::vector<std::wstring> folder;
        std::wstring file;
        EXPECT_EQ(SplitPackagePath(row.path, folder, file), row.problem) << row.path;
    }
}

// A copy a plan would put back takes its hint away; another patch's stays.
TEST(PutBack, HintsFolded)
{
    std::vector<FailureHint> hints = {{kHintPatchPackageMissing, L"{A} C:\\a.msp"},
                                      {kHintPatchPackageMissing, L"{B} C:\\b.msp"}};
    FoldPutBacksIntoHints(hints, {{L"IDR_MSP_1", L"{A}", L"C:\\a.msp", kPutBackPlanned}});
    ASSERT_EQ(hints.size(), 1u);
    EXPECT_EQ(hints[0].detail, L"{B} C:\\b.msp");
}

} // namespace
