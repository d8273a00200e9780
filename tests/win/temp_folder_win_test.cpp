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
        EXPECT_EQ(name.size(), 13u);
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

// A copy's path must fit a path buffer of 260 characters with its
// terminator: 259 characters are written, 260 refused with a stated code,
// whatever number the name draws.
TEST(WriteTempPatchCopy, APathOf260CharactersIsRefusedAnd259Written)
{
    ScratchFolder scratch;
    const std::wstring name = L"\\MSP0123456789";
    for (size_t length : {259u, 260u}) {
        std::wstring folder = scratch.Path() + L"\\";
        folder += std::wstring(length - name.size() - folder.size(), L'd');
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        std::wstring path = L"unchanged";
        SetLastError(0);
        EXPECT_EQ(WriteTempPatchCopyIn(folder, Patch(), path), length == 259u) << length;
        if (length == 259u) {
            EXPECT_EQ(path.size(), 259u) << path;
            DeleteTempPatchCopy(path);
        } else {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
            EXPECT_EQ(path, L"unchanged");
        }
        RemoveDirectoryW(folder.c_str());
    }
}

// Until the copy is closed nobody else may open it, not even to read: no
// other program sees half a patch, or changes it before the installer
// reads it.
TEST(WriteTempPatchCopy, NobodyElseCanOpenTheCopyWhileItIsWritten)
{
    ScratchFolder scratch;
    std::wstring path;
    HANDLE copy = CreateTempPatchCopyIn(scratch.Path(), path);
    ASSERT_NE(copy, INVALID_HANDLE_VALUE);
    HANDLE other = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(other, INVALID_HANDLE_VALUE);
    CloseHandle(copy);
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

// Not elevated, TMP is taken only when it names a folder by a full path;
// else the copies go to the account's folder as GetTempPathW names it
// (a relative TMP made full), made when missing, and where it cannot be
// made no copy is written (never at the root of C:).
TEST(TempCopyFolderFor, AnUnelevatedRunFollowsTmpOnlyWhenItIsAFolder)
{
    ScratchFolder scratch;
    const std::wstring file = scratch.Path() + L"\\a file";
    std::ofstream(file.c_str()) << "x";
    CreateDirectoryW((scratch.Path() + L"\\relative").c_str(), nullptr);
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    SetCurrentDirectoryW(scratch.Path().c_str());
    const struct {
        const char* name;
        std::wstring tmp;
        bool tmpTaken;
        bool written;
    } rows[] = {
        {"an existing folder", scratch.Path(), true, true},
        {"with a trailing backslash", scratch.Path() + L"\\", true, true},
        {"a missing folder in an existing one", scratch.Path() + L"\\missing", false, true},
        {"a missing folder in a missing one", scratch.Path() + L"\\missing2\\deeper", false, false},
        {"a file", file, false, false},
        {"a relative path to an existing folder", L"relative", false, true},
    };
    for (const auto& row : rows) {
        TempVariable tmp(row.tmp);
        std::wstring account = SystemTempPath();
        account.pop_back();
        const std::wstring folder = TempCopyFolderFor(kRunUnelevated);
        EXPECT_EQ(folder, row.tmpTaken ? scratch.Path() : account) << row.name;
        std::wstring path;
        EXPECT_EQ(WriteTempPatchCopyIn(folder, Patch(), path), row.written) << row.name;
        if (row.written) {
            EXPECT_EQ(ReadFile(path), kPatch) << row.name;
            DeleteTempPatchCopy(path);
        }
    }
    SetCurrentDirectoryW(current);
}

// With a TMP that is a folder, so that each account's choice shows: an
// elevated run takes the Windows temporary folder, SYSTEM its own where the
// system has one (GetTempPath2W; Wine has none), else TMP.
TEST(TempCopyFolderFor, EachAccountItsFolder)
{
    ScratchFolder scratch;
    TempVariable tmp(scratch.Path());
    wchar_t windows[MAX_PATH];
    ASSERT_GT(GetSystemWindowsDirectoryW(windows, MAX_PATH), 0u);
    EXPECT_EQ(TempCopyFolderFor(kRunElevated), std::wstring(windows) + L"\\Temp");
    EXPECT_EQ(TempCopyFolderFor(kRunUnelevated), scratch.Path());
    const bool systemOnly = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTempPath2W") != nullptr;
    if (!systemOnly) {
        EXPECT_EQ(TempCopyFolderFor(kRunAsSystem), scratch.Path());
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
