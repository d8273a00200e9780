#include "payload/temp_folder.h"
#include "payload/temp_folder_win.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <fstream>
#include <iterator>
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

std::string ReadFile(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const char kPatch[] = "a patch, byte for byte\n";

PatchBytes Patch()
{
    return {reinterpret_cast<const std::uint8_t*>(kPatch), sizeof kPatch - 1};
}

TEST(WriteTempPatchCopy, WritesThePatchUnderAFreshMspName)
{
    std::wstring first;
    std::wstring second;
    ASSERT_TRUE(WriteTempPatchCopy(Patch(), first));
    ASSERT_TRUE(WriteTempPatchCopy(Patch(), second));
    EXPECT_NE(first, second);
    for (const std::wstring& path : {first, second}) {
        EXPECT_EQ(ReadFile(path), kPatch);
        const size_t slash = path.rfind(L'\\');
        ASSERT_NE(slash, std::wstring::npos);
        EXPECT_EQ(_wcsicmp(path.substr(0, slash).c_str(), TempCopyFolder().c_str()), 0) << path;
        const std::wstring name = path.substr(slash + 1);
        EXPECT_EQ(name.substr(0, 3), L"MSP");
        EXPECT_GT(name.size(), 3u);
        EXPECT_EQ(name.find_first_not_of(L"0123456789", 3), std::wstring::npos) << name;
        DeleteTempPatchCopy(path);
        EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

// The copy must be readable by the installer (SYSTEM) and the elevated
// wrapper (Administrators), and by nobody else, whatever the folder grants.
TEST(WriteTempPatchCopy, AsksForAccessBySystemAndAdministratorsOnly)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(
        ConvertStringSecurityDescriptorToSecurityDescriptorW(kTempCopySecurity, SDDL_REVISION_1, &descriptor, nullptr));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
    EXPECT_NE(control & SE_DACL_PROTECTED, 0) << "inherited entries would open it to the folder's users";

    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
    ASSERT_TRUE(present);
    ASSERT_NE(dacl, nullptr) << "a null DACL grants everyone everything";
    ASSERT_EQ(dacl->AceCount, 2);
    const WELL_KNOWN_SID_TYPE expected[] = {WinLocalSystemSid, WinBuiltinAdministratorsSid};
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, &ace));
        const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(allowed->Mask, FILE_ALL_ACCESS);
        EXPECT_TRUE(IsWellKnownSid(const_cast<DWORD*>(&allowed->SidStart), expected[i])) << i;
    }
    LocalFree(descriptor);
}

TEST(WriteTempPatchCopy, ANameThatCannotFitIsRefusedWithAStatedCode)
{
    ScratchFolder scratch;
    std::wstring deep = scratch.Path() + L"\\";
    deep += std::wstring(250 - deep.size(), L'd');
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    TempVariable tmp(deep);
    std::wstring path = L"unchanged";
    SetLastError(0);
    EXPECT_FALSE(WriteTempPatchCopy(Patch(), path));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_EQ(path, L"unchanged");
    RemoveDirectoryW(deep.c_str());
}

TEST(DeleteTempPatchCopy, KeepsTheLastErrorValue)
{
    std::wstring path;
    ASSERT_TRUE(WriteTempPatchCopy(Patch(), path));
    SetLastError(1603);
    DeleteTempPatchCopy(path);
    EXPECT_EQ(GetLastError(), 1603u);
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    SetLastError(1603);
    DeleteTempPatchCopy(path);  // gone already: the failure is not what a box should show
    EXPECT_EQ(GetLastError(), 1603u);
}

// TMP is taken only when it names a folder; else the copies go where the
// installer logs go, which is created when it can be.
TEST(TempCopyFolder, FollowsTmpOnlyWhenItIsAFolder)
{
    ScratchFolder scratch;
    const std::wstring file = scratch.Path() + L"\\a file";
    std::ofstream(file.c_str()) << "x";
    const struct {
        const char* name;
        std::wstring tmp;
        std::wstring expected;
    } rows[] = {
        {"an existing folder", scratch.Path(), scratch.Path()},
        {"with a trailing backslash", scratch.Path() + L"\\", scratch.Path()},
        {"a missing folder in an existing one", scratch.Path() + L"\\missing", scratch.Path() + L"\\missing"},
        {"a missing folder in a missing one", scratch.Path() + L"\\missing2\\deeper", L"c:"},
        {"a file", file, L"c:"},
        {"an unexpanded variable", L"%USERPROFILE%\\AppData\\Local\\Temp", L"c:"},
    };
    for (const auto& row : rows) {
        TempVariable tmp(row.tmp);
        EXPECT_EQ(TempCopyFolder(), row.expected) << row.name;
        std::wstring path;
        ASSERT_TRUE(WriteTempPatchCopy(Patch(), path)) << row.name;
        EXPECT_EQ(ReadFile(path), kPatch) << row.name;
        DeleteTempPatchCopy(path);
    }
}

TEST(GetTempFolder, DropsTheTrailingBackslash)
{
    std::wstring expected = SystemTempPath();
    expected.pop_back();
    EXPECT_EQ(TempFolder(), expected);
}

TEST(GetTempFolder, CreatesAMissingFolder)
{
    ScratchFolder scratch;
    const std::wstring folder = scratch.Path() + L"\\made";
    {
        TempVariable tmp(folder + L"\\");
        EXPECT_EQ(TempFolder(), folder);
    }
    EXPECT_TRUE(DirectoryExists(folder));
}

TEST(GetTempFolder, FallsBackToDriveCWhenTheFolderCannotBeMade)
{
    ScratchFolder scratch;
    const std::wstring parent = scratch.Path() + L"\\missing";
    TempVariable tmp(parent + L"\\deeper\\");
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
    ScratchFolder scratch;
    const std::wstring file = scratch.Path() + L"\\file";
    EXPECT_FALSE(DirectoryExists(file));
    std::ofstream(file.c_str()) << "x";
    EXPECT_FALSE(DirectoryExists(file));
    EXPECT_TRUE(DirectoryExists(scratch.Path()));
}

} // namespace
