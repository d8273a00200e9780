#include "shared/run_log.h"
#include "shared/utf8_text.h"

#include <gtest/gtest.h>

namespace {

LogStamp Stamp(long bias)
{
    LogStamp stamp;
    stamp.year = 2026;
    stamp.month = 3;
    stamp.day = 7;
    stamp.hour = 9;
    stamp.minute = 5;
    stamp.second = 4;
    stamp.millisecond = 7;
    stamp.biasMinutes = bias;
    return stamp;
}

TEST(LogRecord, HasTheViewersLineFormat)
{
    EXPECT_EQ(FormatLogRecord(L"Patch wrapper started", kLogInfo, Stamp(-60), L"fix-3.2.40", 1234),
              L"<![LOG[Patch wrapper started]LOG]!><time=\"09:05:04.007-060\" date=\"03-07-2026\" "
              L"component=\"fix-3.2.40\" context=\"\" type=\"1\" thread=\"1234\" file=\"\">");
}

// UTC = local time + bias: seven hours behind UTC is +420.
TEST(LogRecord, TheBiasKeepsItsSignAndThreeDigits)
{
    const struct {
        long bias;
        const wchar_t* text;
    } rows[] = {{0, L"+000"}, {420, L"+420"}, {-60, L"-060"}, {-345, L"-345"}, {720, L"+720"}};
    for (const auto& row : rows) {
        const std::wstring record = FormatLogRecord(L"m", kLogWarning, Stamp(row.bias), L"w", 1);
        EXPECT_NE(record.find(std::wstring(L"04.007") + row.text + L"\""), std::wstring::npos) << record;
    }
}

TEST(LogRecord, TheTypeIsItsNumber)
{
    EXPECT_NE(FormatLogRecord(L"m", kLogError, Stamp(0), L"w", 1).find(L" type=\"3\" "), std::wstring::npos);
    EXPECT_NE(FormatLogRecord(L"m", kLogWarning, Stamp(0), L"w", 1).find(L" type=\"2\" "), std::wstring::npos);
}

// Whatever a product name or a box text holds, a record stays one line and
// one record.
TEST(LogRecord, AMessageCannotBreakTheRecord)
{
    const std::wstring record =
        FormatLogRecord(L"a\nb\r\nc ]LOG]!><time=\"x\"> d", kLogInfo, Stamp(0), L"comp\nonent", 1);
    EXPECT_EQ(record.find(L'\n'), std::wstring::npos);
    EXPECT_EQ(record.find(L'\r'), std::wstring::npos);
    EXPECT_EQ(record.find(L"]LOG]!>"), record.rfind(L"]LOG]!>")) << record;
    EXPECT_EQ(record.substr(0, record.find(L"]LOG]!>")),
              L"<![LOG[a\\nb\\r\\nc ]LOG]!&gt;<time=\"x\"> d");
    EXPECT_NE(record.find(L"component=\"comp\\nonent\""), std::wstring::npos);
}

// What line-splitting readers take for a line end, and the opener a reader
// splits records on: each is escaped, so a reader sees the one record.
TEST(LogRecord, LineEndsOfEveryKindAndTheOpenerAreEscaped)
{
    const struct {
        const wchar_t* message;
        const wchar_t* written;
    } rows[] = {
        {L"a\x0b" L"b\x0c" L"c", L"a\\x0bb\\x0cc"},
        {L"\x01\x1c\x1d\x1e\x1f", L"\\x01\\x1c\\x1d\\x1e\\x1f"},
        {L"x\u0085y\u2028z\u2029", L"x\\u0085y\\u2028z\\u2029"},
        {L"tab\tstays \u00e9 \u2027", L"tab\tstays \u00e9 \u2027"},
        {L"a <![LOG[forged]LOG]!><time=", L"a &lt;![LOG[forged]LOG]!&gt;<time="},
        {L"<![LOG<![LOG[", L"<![LOG&lt;![LOG["},
    };
    for (const auto& row : rows) {
        const std::wstring record = FormatLogRecord(row.message, kLogInfo, Stamp(0), L"w", 1);
        EXPECT_EQ(record.substr(0, record.find(L"]LOG]!><time=\"")), std::wstring(L"<![LOG[") + row.written);
        EXPECT_EQ(record.find(L"<![LOG[", 1), std::wstring::npos) << record;
    }
}

TEST(LogRecord, TextIsWrittenAsUtf8)
{
    EXPECT_EQ(Utf8FromText(L"Caf\u00e9 \u041f\u0440\u043e\u0434\u0443\u043a\u0442 \u88fd\u54c1"),
              "Caf\xC3\xA9 \xD0\x9F\xD1\x80\xD0\xBE\xD0\xB4\xD1\x83\xD0\xBA\xD1\x82 \xE8\xA3\xBD\xE5\x93\x81");
    // Beyond the first plane: a surrogate pair where wchar_t is 16 bits, one
    // unit where it is 32; either way the same four bytes.
    EXPECT_EQ(Utf8FromText(L"\U0001F600"), "\xF0\x9F\x98\x80");
}

} // namespace
