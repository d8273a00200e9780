#include "payload/extract.h"

#include <gtest/gtest.h>

namespace {

struct NamingRow {
    const wchar_t* path;
    int index;
    const wchar_t* expected;
};

const NamingRow kNamingRows[] = {
    {L"D:\\out\\fix.msp", 3, L"D:\\out\\fix3.msp"},
    {L"D:\\out\\fix.msp", 12, L"D:\\out\\fix12.msp"},
    {L"D:\\out\\fix.msp", 0, L"D:\\out\\fix.msp"},
    {L"D:\\fix.msp", 1, L"D:\\fix1.msp"},
    {L"fix.msp", 1, L"fix1.msp"},
    {L"D:\\out", 1, L"D:\\out1"},
    {L"D:\\out\\", 1, L"D:\\out\\1"},
    {L"D:\\out\\fix.old.msp", 1, L"D:\\out\\fix.old1"},
    {L"", 1, L"1"},
    {L"C:\\Temp\\MSP7", 0, L"C:\\Temp\\MSP7"},
    // Beyond the table: relative folders, UNC shares, drive-relative names,
    // names that are all extension, and forward slashes.
    {L"out\\fix.msp", 15, L"out\\fix15.msp"},
    {L"\\\\server\\share\\fix.msp", 2, L"\\\\server\\share\\fix2.msp"},
    {L"\\fix.msp", 1, L"\\fix1.msp"},
    {L"D:fix.msp", 1, L"D:\\fix1.msp"},
    {L".msp", 1, L"1.msp"},
    {L"fix.", 1, L"fix1."},
    {L"D:/out/fix.msp", 4, L"D:/out\\fix4.msp"},
    {L"D:\\out\\.msp", 0, L"D:\\out\\.msp"},
    // A switch taken as the path ("/e /q") names a file in the current
    // folder; a slash that separates folders still does.
    {L"/q", 1, L"q1"},
    {L"/q", 4, L"q4"},
    {L"/out/fix.msp", 2, L"/out\\fix2.msp"},
};

TEST(ExtractName, NamingTable)
{
    for (const NamingRow& row : kNamingRows) {
        std::wstring rebuilt = L"unchanged";
        ASSERT_TRUE(RebuildExtractPath(row.path, row.index, rebuilt)) << row.path;
        EXPECT_EQ(rebuilt, row.expected) << row.path << L" " << row.index;
    }
}

TEST(ExtractName, RebuildingInPlaceReadsTheOriginalFirst)
{
    std::wstring path = L"D:\\out\\fix.msp";
    ASSERT_TRUE(RebuildExtractPath(path, 7, path));
    EXPECT_EQ(path, L"D:\\out\\fix7.msp");
}

TEST(ExtractName, GivenPathMustFitTheBuffer)
{
    const std::wstring folder = L"C:\\" + std::wstring(240, L'f') + L"\\";
    std::wstring rebuilt;
    const std::wstring fits = folder + std::wstring(259 - folder.size(), L'n');
    ASSERT_EQ(fits.size(), 259u);
    EXPECT_TRUE(RebuildExtractPath(fits, 0, rebuilt));
    EXPECT_EQ(rebuilt, fits);

    rebuilt = L"unchanged";
    EXPECT_FALSE(RebuildExtractPath(fits + L"n", 0, rebuilt));
    EXPECT_EQ(rebuilt, L"unchanged");
}

TEST(ExtractName, RebuiltPathMustFitTheBuffer)
{
    // 259 characters given; the slot number would make it 261.
    const std::wstring path = L"C:\\" + std::wstring(252, L'f') + L".msp";
    ASSERT_EQ(path.size(), 259u);
    std::wstring rebuilt = L"unchanged";
    EXPECT_FALSE(RebuildExtractPath(path, 12, rebuilt));
    EXPECT_EQ(rebuilt, L"unchanged");
}

TEST(ExtractName, StemWithTheNumberMustStayBelow256)
{
    std::wstring rebuilt;
    EXPECT_TRUE(RebuildExtractPath(std::wstring(254, L's'), 1, rebuilt));
    EXPECT_EQ(rebuilt.size(), 255u);
    EXPECT_FALSE(RebuildExtractPath(std::wstring(255, L's'), 1, rebuilt));
    EXPECT_FALSE(RebuildExtractPath(std::wstring(254, L's'), 12, rebuilt));
}

TEST(ExtractName, ExtensionMustStayBelow256)
{
    std::wstring rebuilt;
    EXPECT_TRUE(RebuildExtractPath(L"a." + std::wstring(254, L'x'), 0, rebuilt));
    EXPECT_FALSE(RebuildExtractPath(L"a." + std::wstring(255, L'x'), 0, rebuilt));
}

} // namespace
