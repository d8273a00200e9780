#include "app/receipt_win.h"
#include "fake_fixture.h"
#include "flush_file_fake.h"
#include "scratch_folder.h"

#include <fstream>

namespace {

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
    RecordRun(receipt, 0);
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
    RecordRun(receipt, 0);
    EXPECT_EQ(ContentOf(Options.receiptPath), "old");
    EXPECT_EQ(scratch_.CountFiles(), 1);
}

} // namespace

// The end of a /whatif of the wrapper without patches, with a receipt:
// its one event.
class RunEventTest : public ReceiptFlushTest {
protected:
    const fake_events::Event& Recorded()
    {
        Options.installMode = false;
        Options.whatIfMode = true;
        receipt_ = RunReceipt();
        receipt_.planned = receipt_.outcomeKnown = true;
        receipt_.run.overall = NoPatch;
        static const fake_events::Event none = {0, 0, {L"", L""}};
        const size_t before = fake_events::Reported().size();
        RecordRun(receipt_, 1603);
        const bool one = fake_events::Reported().size() == before + 1;
        EXPECT_TRUE(one) << "no event";
        return one ? fake_events::Reported().back() : none;
    }
    RunReceipt receipt_;
};

// Written once where nothing stands; a source somebody else registered, or
// a registry link in its place, is left alone; what fails leaves nothing
// half made. The event is written all the same, every time.
TEST_F(RunEventTest, TheSourceIsRegisteredWhereNothingStandsAndAnythingElseIsLeftAlone)
{
    const std::wstring ours = L"%SystemRoot%\\System32\\EventCreate.exe";
    const struct {
        const wchar_t* name;  // the value that stands before; nullptr: no key
        DWORD type;
        std::wstring value;
        LSTATUS failure;  // of opening the sources' key (2), else of writing
        std::wstring fileAfter, typesAfter;
        const wchar_t* warning;  // what the receipt's warning names; nullptr: none
    } rows[] = {
        {nullptr, 0, L"", 0, L"type 2: " + ours, L"type 4: 7", nullptr},
        {L"EventMessageFile", REG_EXPAND_SZ, L"%systemroot%\\SYSTEM32\\eventcreate.exe", 0,
         L"type 2: %systemroot%\\SYSTEM32\\eventcreate.exe", L"", nullptr},
        {L"EventMessageFile", REG_EXPAND_SZ, L"C:\\Other\\msg.dll", 0, L"type 2: C:\\Other\\msg.dll", L"",
         L"registered with another message file (C:\\Other\\msg.dll): left alone"},
        {L"SymbolicLinkValue", REG_LINK, L"\\REGISTRY\\MACHINE\\SOFTWARE\\Elsewhere", 0, L"", L"", L"is a registry link"},
        {nullptr, 0, L"", ERROR_ACCESS_DENIED, L"", L"", L"cannot be registered: error 5"},
        {nullptr, 0, L"", ERROR_FILE_NOT_FOUND, L"", L"", L"the Application log's key cannot be opened: error 2"},
    };
    int index = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(index++);
        fake_events::Reset();
        if (row.name != nullptr)
            fake_events::SetSourceValue(row.name, row.type, row.value);
        if (row.failure == ERROR_FILE_NOT_FOUND)
            fake_events::FailOpeningSources(row.failure);
        else if (row.failure != 0)
            fake_events::FailWriting(row.failure);
        Recorded();
        EXPECT_EQ(fake_events::SourceValue(L"EventMessageFile"), row.fileAfter);
        EXPECT_EQ(fake_events::SourceValue(L"TypesSupported"), row.typesAfter);
        EXPECT_EQ(fake_events::SourceStands(), row.name != nullptr || row.failure == 0);
        if (row.warning == nullptr)
            EXPECT_EQ(receipt_.eventWarning, L"");
        else
            EXPECT_NE(receipt_.eventWarning.find(row.warning), std::wstring::npos) << receipt_.eventWarning;
    }
}

// The receipt goes whole into an event up to 31,839 characters; one more,
// and its digest stands there instead, as the text says. A text longer
// than that is cut to it, saying so.
TEST_F(RunEventTest, TheReceiptGoesWholeUpTo31839CharactersThenItsDigest)
{
    Options.ignoredWords = {L"x"};
    const std::size_t shortest = Utf16Length(Recorded().strings[1]);
    Options.ignoredWords[0].append(kEventStringLimit - shortest, L'x');
    const fake_events::Event& longest = Recorded();
    EXPECT_EQ(Utf16Length(longest.strings[1]), kEventStringLimit);
    EXPECT_EQ(Utf8FromText(longest.strings[1]), CompactJson(ContentOf(Options.receiptPath)));
    EXPECT_NE(longest.strings[0].find(L"\nThe second string is this run's receipt"), std::wstring::npos);

    Options.ignoredWords[0] += L'x';
    const fake_events::Event& digest = Recorded();
    const std::wstring head = L"{\n  \"digest\": 1,\n  \"receiptSchema\": 2,\n  \"receiptLength\": 31840,\n";
    EXPECT_EQ(digest.strings[1].substr(0, head.size()), head);
    EXPECT_NE(digest.strings[0].find(L"\nThe receipt has 31840 characters"), std::wstring::npos);

    Options.ignoredWords[0].append(kEventStringLimit, L'y');
    const std::wstring& cut = Recorded().strings[0];
    EXPECT_EQ(Utf16Length(cut), kEventStringLimit);
    const std::wstring end = L" characters in all, cut to fit the event; the receipt and the log hold the whole run.";
    EXPECT_EQ(cut.substr(cut.size() - end.size()), end);
}
