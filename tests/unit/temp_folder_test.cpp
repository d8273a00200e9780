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

TEST(TempCopyName, IsMspAndTheNumberWithoutExtension)
{
    EXPECT_EQ(TempCopyName(L"C:\\Temp", 7), L"C:\\Temp\\MSP7");
    EXPECT_EQ(TempCopyName(L"C:\\", 4294967295u), L"C:\\MSP4294967295");
    // GetTempFolder's last resort.
    EXPECT_EQ(TempCopyName(L"c:", 12), L"c:\\MSP12");
}

} // namespace
