#include "scratch_folder.h"
#include "shared/run_log_win.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

// Each test's log in a folder of its own. A folder is no log: opening one
// closes the test's log, so that the folder can go.
class RunLogTest : public testing::Test {
protected:
    void TearDown() override { OpenRunLog(scratch_.Path()); }

    ScratchFolder scratch_;
    const std::wstring log_ = scratch_.Path() + L"\\run.log";
};

// The log never changes what a box shows: opening an existing one, where
// CreateFileW answers ERROR_ALREADY_EXISTS, keeps the last-error value.
TEST_F(RunLogTest, OpeningKeepsTheLastErrorValue)
{
    std::ofstream(log_.c_str()) << "";
    SetLastError(1603);
    OpenRunLog(log_);
    EXPECT_TRUE(RunLogOpen());
    EXPECT_EQ(GetLastError(), 1603u);
}

// A second name of another file: a run as SYSTEM would append to whatever
// file the link's maker chose.
TEST_F(RunLogTest, AFileWithASecondNameIsNoLog)
{
    const std::wstring target = scratch_.Path() + L"\\other.txt";
    std::ofstream(target.c_str()) << "kept";
    ASSERT_TRUE(CreateHardLinkW(log_.c_str(), target.c_str(), nullptr));
    OpenRunLog(log_);
    EXPECT_FALSE(RunLogOpen());
}

// Another program holds the whole log locked: the first record waits the
// run's 5 s for it, the next one not at all, both are lost (keeping the
// last-error value all the same), and the first record written after the
// lock is let go of says so.
TEST_F(RunLogTest, ALockedLogCostsARunFiveSecondsInAllAndTheRecordsLostAreCounted)
{
    OpenRunLog(log_);
    Log(kLogInfo, L"before");
    HANDLE holder = CreateFileW(log_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    OVERLAPPED all = {};
    ASSERT_TRUE(LockFileEx(holder, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &all));
    const DWORD start = GetTickCount();
    SetLastError(1603);
    Log(kLogInfo, L"lost");
    const DWORD first = GetTickCount() - start;
    Log(kLogInfo, L"lost too");
    EXPECT_EQ(GetLastError(), 1603u);
    EXPECT_GE(first, 5000u);
    EXPECT_LT(GetTickCount() - start - first, 1000u);
    UnlockFileEx(holder, 0, MAXDWORD, MAXDWORD, &all);
    CloseHandle(holder);
    Log(kLogError, L"after");
    std::ifstream in(log_.c_str());
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t lost = text.find("<![LOG[The log lost 2 records of this run before this one: another program held "
                                  "it locked, or a write failed]LOG]!>");
    EXPECT_LT(text.find("<![LOG[before]"), lost);
    EXPECT_LT(lost, text.find("<![LOG[after]"));
    EXPECT_NE(text.find("type=\"2\"", lost), std::string::npos);
    EXPECT_EQ(text.find("<![LOG[lost"), std::string::npos);
}

// UTC = local time + bias, in summer time too (Central European time here).
TEST(LogStampOf, TheBiasIsTheOneInForce)
{
    TIME_ZONE_INFORMATION zone = {};
    zone.Bias = -60;
    zone.DaylightBias = -60;
    const SYSTEMTIME local = {2026, 7, 2, 14, 9, 5, 4, 7};
    EXPECT_EQ(LogStampOf(local, zone, TIME_ZONE_ID_DAYLIGHT).biasMinutes, -120);
    EXPECT_EQ(LogStampOf(local, zone, TIME_ZONE_ID_STANDARD).biasMinutes, -60);
    EXPECT_EQ(LogStampOf(local, zone, TIME_ZONE_ID_UNKNOWN).biasMinutes, -60);
}

} // namespace
