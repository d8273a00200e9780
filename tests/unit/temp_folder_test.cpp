#include "payload/temp_folder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

std::wstring Stripped(std::wstring text)
{
    StripTrailingBackslash(&text[0]);
    return text.c_str();
}

TEST(StripTrailingBackslash, RemovesOneBackslash)
{
    EXPECT_EQ(Stripped(L"C:\\Temp\\"), L"C:\\Temp");
    EXPECT_EQ(Stripped(L"C:\\Temp\\\\"), L"C:\\Temp\\");
}

TEST(StripTrailingBackslash, KeepsADriveRoot)
{
    EXPECT_EQ(Stripped(L"C:\\"), L"C:\\");
}

TEST(StripTrailingBackslash, EmptiesALoneBackslash)
{
    EXPECT_EQ(Stripped(L"\\"), L"");
    // Exactly two characters on the heap: looking before the backslash for
    // a colon would read outside them, which the address sanitizer reports.
    std::unique_ptr<wchar_t[]> lone(new wchar_t[2]{L'\\', L'\0'});
    StripTrailingBackslash(lone.get());
    EXPECT_EQ(lone[0], L'\0');
}

TEST(StripTrailingBackslash, LeavesOtherTextAlone)
{
    EXPECT_EQ(Stripped(L""), L"");
    EXPECT_EQ(Stripped(L"C:\\Temp"), L"C:\\Temp");
    EXPECT_EQ(Stripped(L"C:"), L"C:");
}

// Ten digits whatever the draw: the length of a name, and whether it fits,
// never depends on the number.
TEST(TempCopyName, IsMspAndTheNumberInTenDigitsWithoutExtension)
{
    EXPECT_EQ(TempCopyName(L"C:\\Temp", 7), L"C:\\Temp\\MSP0000000007");
    EXPECT_EQ(TempCopyName(L"C:\\", 4294967295u), L"C:\\MSP4294967295");
    EXPECT_EQ(TempCopyName(L"C:\\Temp", 0).size(), TempCopyName(L"C:\\Temp", 1234567890).size());
}

// A name in use answers one of these; the next name is tried. Anything else
// is the folder's failure and ends the attempts.
TEST(IsTempNameTaken, TakenNamesAndTheFoldersFailures)
{
    const struct {
        unsigned long error;
        bool taken;
    } rows[] = {
        {80, true},    // a file or a link (and under Wine a folder, or a file waiting to be deleted)
        {183, true},   // the same, as some file systems say it
        {5, true},     // on Windows a file waiting to be deleted, or a folder
        {3, false},    // the folder is missing
        {112, false},  // the disk is full
        {206, false},  // the name is too long
        {0, false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(IsTempNameTaken(row.error), row.taken) << row.error;
}

TEST(IsFullPath, NamesItsDriveOrShare)
{
    EXPECT_TRUE(IsFullPath(L"C:\\Temp"));
    EXPECT_TRUE(IsFullPath(L"C:/Temp"));
    EXPECT_TRUE(IsFullPath(L"\\\\server\\share\\tmp"));
    EXPECT_FALSE(IsFullPath(L"Temp"));
    EXPECT_FALSE(IsFullPath(L"C:Temp"));
    EXPECT_FALSE(IsFullPath(L"\\Temp"));
    EXPECT_FALSE(IsFullPath(L""));
}

// Every candidate present, so that each account's choice shows.
TEST(ChooseTempCopyFolder, EachAccountGetsItsOwnFolder)
{
    TempFolderCandidates all;
    all.systemOnly = L"C:\\Windows\\SystemTemp";
    all.windowsTemp = L"C:\\Windows\\Temp";
    all.tmp = L"D:\\tmp";
    all.accountTemp = L"C:\\Users\\admin\\AppData\\Local\\Temp";
    EXPECT_EQ(ChooseTempCopyFolder(kRunAsSystem, all), all.systemOnly);
    EXPECT_EQ(ChooseTempCopyFolder(kRunElevated, all), all.windowsTemp);
    EXPECT_EQ(ChooseTempCopyFolder(kRunUnelevated, all), all.tmp);

    TempFolderCandidates older = all;  // no GetTempPath2W, TMP no folder
    older.systemOnly.clear();
    older.tmp.clear();
    EXPECT_EQ(ChooseTempCopyFolder(kRunAsSystem, older), older.accountTemp);
    EXPECT_EQ(ChooseTempCopyFolder(kRunElevated, older), older.windowsTemp);
    EXPECT_EQ(ChooseTempCopyFolder(kRunUnelevated, older), older.accountTemp);
}

} // namespace
