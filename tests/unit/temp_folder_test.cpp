#include "payload/temp_folder.h"

#include <gtest/gtest.h>

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
}

TEST(StripTrailingBackslash, LeavesOtherTextAlone)
{
    EXPECT_EQ(Stripped(L""), L"");
    EXPECT_EQ(Stripped(L"C:\\Temp"), L"C:\\Temp");
    EXPECT_EQ(Stripped(L"C:"), L"C:");
}

} // namespace
