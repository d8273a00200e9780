#include "app/receipt_win.h"
#include "fake_fixture.h"
#include "flush_file_fake.h"
#include "scratch_folder.h"

#include <fstream>
#include <iterator>

namespace {

std::string ContentOf(const std::wstring& path)
{
    std::ifstream file(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

class ReceiptFlushTest : public FakeInstallerTest {
protected:
    void SetUp() override
    {
        FakeInstallerTest::SetUp();
        fake_flush::Reset();
        Options.receiptPath = scratch_.Path() + L"\\r.json";
        std::ofstream(Options.receiptPath.c_str()) << "old";
    }
    void TearDown() override { fake_flush::Reset(); }
    ScratchFolder scratch_;
};

// The new receipt is flushed once, while the old one still stands under
// the name: its data is written through before it takes the name.
TEST_F(ReceiptFlushTest, TheReceiptIsFlushedBeforeItTakesItsName)
{
    std::string atFlush;
    fake_flush::OnFlush([&](HANDLE) { atFlush = ContentOf(Options.receiptPath); });
    RunReceipt receipt;
    WriteRunReceipt(receipt, 0);
    EXPECT_EQ(fake_flush::Count(), 1);
    EXPECT_EQ(atFlush, "old");
    EXPECT_EQ(ContentOf(Options.receiptPath).compare(0, 1, "{"), 0);
}

// A flush that fails is a receipt not written: the old one stays, and no
// new name is left beside it.
TEST_F(ReceiptFlushTest, AFailedFlushLeavesTheOldReceipt)
{
    fake_flush::FailWith(ERROR_IO_DEVICE);
    RunReceipt receipt;
    WriteRunReceipt(receipt, 0);
    EXPECT_EQ(ContentOf(Options.receiptPath), "old");
    EXPECT_EQ(scratch_.CountFiles(), 1);
}

} // namespace
