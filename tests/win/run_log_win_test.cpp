#include "scratch_folder.h"
#include "shared/run_log_win.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

// Each test's log in a folder of its own.
class RunLogTest : public testing::Test {
protected:
    // A folder is no log: opening it closes the log a test opened, so that
    // the folder can go.
    void TearDown() override { OpenRunLog(scratch_.Path()); }

    std::wstring LogPath() const { return scratch_.Path() + L"\\run.log"; }

    // Every record of the log as "TYPE MESSAGE".
    std::vector<std::string> Records() const
    {
        std::vector<std::string> records;
        std::ifstream in(LogPath().c_str(), std::ios::binary);
        for (std::string line; std::getline(in, line);) {
            const size_t start = line.find("<![LOG[") + 7;
            const size_t type = line.find(" type=\"") + 7;
            records.push_back(line.substr(type, 1) + " " + line.substr(start, line.find("]LOG]!>") - start));
        }
        return records;
    }

    ScratchFolder scratch_;
};

// The log never changes what a box shows: opening an existing log, where
// CreateFileW answers ERROR_ALREADY_EXISTS, leaves the last-error value as
// it was (and so does a record whose lock another program holds, below).
TEST_F(RunLogTest, KeepsTheLastErrorValue)
{
    std::ofstream(LogPath().c_str()) << "";
    SetLastError(1603);
    OpenRunLog(LogPath());
    EXPECT_EQ(GetLastError(), 1603u);
    ASSERT_TRUE(RunLogOpen());
}

// A second name of another file at the log's path: a run as SYSTEM would
// append to whatever file the link's maker chose.
TEST_F(RunLogTest, AFileWithASecondNameIsNoLog)
{
    const std::wstring target = scratch_.Path() + L"\\other.txt";
    std::ofstream(target.c_str()) << "kept";
    ASSERT_TRUE(CreateHardLinkW(LogPath().c_str(), target.c_str(), nullptr));
    OpenRunLog(LogPath());
    EXPECT_FALSE(RunLogOpen());
    DeleteFileW(LogPath().c_str());
    OpenRunLog(LogPath());
    EXPECT_TRUE(RunLogOpen());
}

// Another program holds the whole log locked: the first record waits the
// run's 5 s for it, the next one not at all, both are lost, and the first
// record written after the lock is let go of says so.
TEST_F(RunLogTest, ALockedLogCostsARunFiveSecondsInAllAndTheRecordsLostAreCounted)
{
    OpenRunLog(LogPath());
    Log(kLogInfo, L"before");
    HANDLE holder = CreateFileW(LogPath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    OVERLAPPED everything = {};
    ASSERT_TRUE(LockFileEx(holder, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                           &everything));
    const DWORD start = GetTickCount();
    SetLastError(1603);
    Log(kLogInfo, L"lost");
    const DWORD first = GetTickCount() - start;
    Log(kLogInfo, L"lost too");
    const DWORD second = GetTickCount() - start - first;
    EXPECT_EQ(GetLastError(), 1603u);
    UnlockFileEx(holder, 0, MAXDWORD, MAXDWORD, &everything);
    CloseHandle(holder);
    Log(kLogError, L"after");
    EXPECT_GE(first, 5000u);
    EXPECT_LT(second, 1000u);
    EXPECT_EQ(Records(), (std::vector<std::string>{
                             "1 before",
                             "2 The log lost 2 records of this run before this one: another program held it "
                             "locked, or a write failed",
                             "3 after"}));
}

// UTC = local time + bias, in summer time too.
TEST(LogStampOf, TheBiasIsTheOneInForce)
{
    const SYSTEMTIME local = {2026, 7, 2, 14, 9, 5, 4, 7};
    TIME_ZONE_INFORMATION zone = {};
    zone.Bias = -60;  // Central European time
    zone.StandardBias = 0;
    zone.DaylightBias = -60;
    const struct {
        DWORD mode;
        long bias;
    } rows[] = {{TIME_ZONE_ID_DAYLIGHT, -120}, {TIME_ZONE_ID_STANDARD, -60}, {TIME_ZONE_ID_UNKNOWN, -60}};
    for (const auto& row : rows) {
        const LogStamp stamp = LogStampOf(local, zone, row.mode);
        EXPECT_EQ(stamp.biasMinutes, row.bias) << row.mode;
        EXPECT_EQ(stamp.hour * 100 + stamp.minute, 905) << row.mode;
    }
}

} // namespace
