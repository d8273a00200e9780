#include "scratch_folder.h"
#include "shared/replace_file_win.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

class ReplaceFileTest : public testing::Test {
protected:
    ScratchFolder scratch_;
    const std::wstring file_ = scratch_.Path() + L"\\r.json";
};

// Whatever stood there, the file is the new bytes whole and nothing else
// is left in the folder.
TEST_F(ReplaceFileTest, WritesANewFileOrReplacesAnOldOneAndLeavesNothingElse)
{
    ASSERT_EQ(ReplaceFileWhole(file_, "first"), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_EQ(ReplaceFileWhole(file_, "second, longer"), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(ContentOf(file_), "second, longer");
    EXPECT_EQ(scratch_.CountFiles(), 1);
}

// What a killed run of this process's id left at the first new names: the
// next names are tried, and the leftovers stay as they were.
TEST_F(ReplaceFileTest, LeftoverNewNamesOfAKilledRunAreSteppedOver)
{
    const std::wstring stem = file_ + L"." + std::to_wstring(GetCurrentProcessId()) + L"-";
    for (int n : {0, 1, 2})
        std::ofstream((stem + std::to_wstring(n) + L".tmp").c_str()) << "left";
    ASSERT_EQ(ReplaceFileWhole(file_, "receipt"), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(ContentOf(file_), "receipt");
    EXPECT_EQ(ContentOf(stem + L"0.tmp"), "left");
    EXPECT_EQ(scratch_.CountFiles(), 4);
}

// The folder is opened without its last separator, but for a drive's
// root: "C:" alone would be the drive's current folder.
TEST_F(ReplaceFileTest, AFileAtADrivesRootGoesThere)
{
    wchar_t current[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, current), 0u);
    ASSERT_TRUE(SetCurrentDirectoryW(scratch_.Path().c_str()));
    const std::wstring root = scratch_.Path().substr(0, 3) + L"replace-root-" + std::to_wstring(GetCurrentProcessId()) +
                              L".json";
    EXPECT_EQ(ReplaceFileWhole(root, "at the root"), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(ContentOf(root), "at the root");
    EXPECT_EQ(scratch_.CountFiles(), 0);
    DeleteFileW(root.c_str());
    SetCurrentDirectoryW(current);
}

// Refused, with the file at the path and the folder as they were.
TEST_F(ReplaceFileTest, AFolderOrASecondNameIsRefusedAndNothingIsLeft)
{
    const std::wstring other = scratch_.Path() + L"\\other.txt";
    std::ofstream(other.c_str()) << "kept";
    ASSERT_TRUE(CreateHardLinkW(file_.c_str(), other.c_str(), nullptr));
    EXPECT_EQ(ReplaceFileWhole(file_, "new"), kReplaceSecondName);
    EXPECT_EQ(ContentOf(other), "kept");
    EXPECT_EQ(scratch_.CountFiles(), 2);

    const std::wstring folder = scratch_.Path() + L"\\folder.json";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    EXPECT_EQ(ReplaceFileWhole(folder, "new"), kReplaceFolder);
    EXPECT_EQ(ReplaceFileWhole(folder + L"\\", "new"), kReplaceFolder);
    EXPECT_NE(ReplaceFileWhole(scratch_.Path() + L"\\missing\\r.json", "new"), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(scratch_.CountFiles(), 2);
}

} // namespace
