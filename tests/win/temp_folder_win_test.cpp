#include "payload/temp_folder_win.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

// Points TMP (which GetTempPathW reads first) elsewhere for one test.
class TempVariable {
public:
    explicit TempVariable(const std::wstring& value)
    {
        wchar_t old[MAX_PATH];
        const DWORD length = GetEnvironmentVariableW(L"TMP", old, MAX_PATH);
        hadOld_ = length > 0 && length < MAX_PATH;
        if (hadOld_)
            old_ = old;
        SetEnvironmentVariableW(L"TMP", value.c_str());
    }
    ~TempVariable() { SetEnvironmentVariableW(L"TMP", hadOld_ ? old_.c_str() : nullptr); }

private:
    bool hadOld_ = false;
    std::wstring old_;
};

std::wstring TempFolder()
{
    wchar_t buffer[260];
    GetTempFolder(buffer, 260);
    return buffer;
}

std::wstring SystemTempPath()
{
    wchar_t buffer[MAX_PATH];
    GetTempPathW(MAX_PATH, buffer);
    return buffer;
}

TEST(MakeTempPatchPath, GivesANewNameEveryCall)
{
    const std::wstring first = MakeTempPatchPath();
    const std::wstring second = MakeTempPatchPath();
    EXPECT_NE(first, second);
    EXPECT_EQ(GetFileAttributesW(first.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(MakeTempPatchPath, NamesMspAndANumberInTheTemporaryFolder)
{
    const std::wstring path = MakeTempPatchPath();
    const size_t slash = path.rfind(L'\\');
    ASSERT_NE(slash, std::wstring::npos);
    const std::wstring name = path.substr(slash + 1);
    ASSERT_GT(name.size(), 3u);
    EXPECT_EQ(name.substr(0, 3), L"MSP");
    EXPECT_EQ(name.find_first_not_of(L"0123456789", 3), std::wstring::npos) << name;
    EXPECT_EQ(_wcsicmp(path.substr(0, slash + 1).c_str(), SystemTempPath().c_str()), 0);
}

TEST(MakeTempPatchPath, SkipsNamesThatExist)
{
    const std::wstring taken = MakeTempPatchPath();
    CloseHandle(CreateFileW(taken.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    for (int i = 0; i < 5; ++i)
        EXPECT_NE(MakeTempPatchPath(), taken);
    DeleteFileW(taken.c_str());
}

TEST(GetTempFolder, DropsTheTrailingBackslash)
{
    std::wstring expected = SystemTempPath();
    expected.pop_back();
    EXPECT_EQ(TempFolder(), expected);
}

TEST(GetTempFolder, CreatesAMissingFolder)
{
    const std::wstring folder = MakeTempPatchPath();
    {
        TempVariable tmp(folder + L"\\");
        EXPECT_EQ(TempFolder(), folder);
    }
    EXPECT_TRUE(DirectoryExists(folder));
    RemoveDirectoryW(folder.c_str());
}

TEST(GetTempFolder, FallsBackToDriveCWhenTheFolderCannotBeMade)
{
    const std::wstring parent = MakeTempPatchPath();
    TempVariable tmp(parent + L"\\missing\\deeper\\");
    EXPECT_EQ(TempFolder(), L"c:");
    EXPECT_FALSE(DirectoryExists(parent));
}

TEST(GetTempFolder, FallsBackWhenThePathDoesNotFitTheBuffer)
{
    TempVariable tmp(L"C:\\" + std::wstring(300, L'x') + L"\\");
    EXPECT_EQ(TempFolder(), L"c:");
}

TEST(DirectoryExists, TellsFoldersFromFiles)
{
    const std::wstring file = MakeTempPatchPath();
    EXPECT_FALSE(DirectoryExists(file));
    CloseHandle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    EXPECT_FALSE(DirectoryExists(file));
    DeleteFileW(file.c_str());

    const std::wstring folder = MakeTempPatchPath();
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    EXPECT_TRUE(DirectoryExists(folder));
    RemoveDirectoryW(folder.c_str());
}

} // namespace
