#include "payload/extract.h"
#include "payload/extract_win.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlwapi.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

const char kSlot3Payload[] = "payload of slot three\n";

std::string ReadFile(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class ExtractTest : public testing::Test {
protected:
    int CountFiles() const { return scratch_.CountFiles(); }
    ScratchFolder scratch_;
    const std::wstring folder_ = scratch_.Path();
};

TEST_F(ExtractTest, WritesTheResourceUnderTheNumberedName)
{
    EXPECT_TRUE(ExtractPatch(folder_ + L"\\fix.msp", L"IDR_MSP_3", 3));
    EXPECT_EQ(ReadFile(folder_ + L"\\fix3.msp"), kSlot3Payload);
    EXPECT_EQ(CountFiles(), 1);
}

TEST_F(ExtractTest, AbsentOrEmptyResourceCreatesNoFile)
{
    EXPECT_FALSE(ExtractPatch(folder_ + L"\\fix.msp", L"IDR_MSP_1", 1));
    EXPECT_FALSE(ExtractPatch(folder_ + L"\\fix.msp", L"IDR_MSP_9", 9));
    EXPECT_EQ(CountFiles(), 0);
}

TEST_F(ExtractTest, AnExistingFileIsOverwritten)
{
    const std::wstring target = folder_ + L"\\fix3.msp";
    std::ofstream(target.c_str(), std::ios::binary) << std::string(4096, 'x');
    EXPECT_TRUE(ExtractPatch(folder_ + L"\\fix.msp", L"IDR_MSP_3", 3));
    EXPECT_EQ(ReadFile(target), kSlot3Payload);
}

TEST_F(ExtractTest, AMissingFolderIsNotCreated)
{
    const std::wstring missing = folder_ + L"\\missing";
    EXPECT_FALSE(ExtractPatch(missing + L"\\fix.msp", L"IDR_MSP_3", 3));
    EXPECT_FALSE(FileExists(missing));
}

TEST_F(ExtractTest, ATooLongPathIsRefusedWithoutWriting)
{
    std::wstring path = folder_ + L"\\";
    path += std::wstring(260 - path.size(), L'n');
    EXPECT_FALSE(ExtractPatch(path, L"IDR_MSP_3", 0));
    EXPECT_EQ(CountFiles(), 0);
}

// The name rebuild is portable code; on Windows it must agree with the
// path functions whose rules it follows.
std::wstring RebuildWithShellFunctions(const std::wstring& path, int index)
{
    wchar_t folder[MAX_PATH];
    wcscpy_s(folder, path.c_str());
    PathRemoveFileSpecW(folder);
    wchar_t stem[256];
    wchar_t extension[256];
    _wsplitpath_s(path.c_str(), nullptr, 0, nullptr, 0, stem, 256, extension, 256);
    if (index != 0)
        wcscat_s(stem, std::to_wstring(index).c_str());
    PathAppendW(folder, stem);
    if (extension[0] != L'\0')
        PathAddExtensionW(folder, extension);
    return folder;
}

TEST(ExtractNameOnWindows, AgreesWithTheShellPathFunctions)
{
    const struct {
        const wchar_t* path;
        int index;
    } rows[] = {
        {L"D:\\out\\fix.msp", 3}, {L"D:\\out\\fix.msp", 12}, {L"D:\\out\\fix.msp", 0},
        {L"D:\\fix.msp", 1}, {L"fix.msp", 1}, {L"D:\\out", 1}, {L"D:\\out\\", 1},
        {L"D:\\out\\fix.old.msp", 1}, {L"", 1}, {L"C:\\Temp\\MSP7", 0},
        {L"out\\fix.msp", 15}, {L"\\\\server\\share\\fix.msp", 2}, {L"\\fix.msp", 1},
        {L"D:fix.msp", 1}, {L".msp", 1}, {L"/q", 4},
    };
    for (const auto& row : rows) {
        std::wstring rebuilt;
        ASSERT_TRUE(RebuildExtractPath(row.path, row.index, rebuilt)) << row.path;
        EXPECT_EQ(rebuilt, RebuildWithShellFunctions(row.path, row.index)) << row.path;
    }
}

} // namespace
