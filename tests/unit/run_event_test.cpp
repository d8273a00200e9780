#include "app/run_event.h"

#include "shared/json_writer.h"
#include "shared/utf8_text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace {

// Counted as an event counts it: a character beyond the 16-bit range is
// two, whatever the width of wchar_t. Past the limit the receipt goes as
// its digest, naming the file it was written to. WRAPPER_EVENT_DIGEST names
// a file to write that digest to, for the check against its schema
// (tests/e2e/event_digest.sh).
TEST(RunEvent, AReceiptOneCharacterTooLongGoesAsItsDigest)
{
    RunReceipt receipt;
    receipt.mode = L"install";
    receipt.outcomeKnown = true;
    receipt.run.overall = NoProduct;
    receipt.exitCode = 1642;
    receipt.eventId = 104;
    receipt.eventLevel = kEventWarning;
    receipt.run.slots.resize(1);
    receipt.run.slots[0].slot = 1;
    receipt.run.slots[0].outcome = NoProduct;
    const std::size_t shortest = Utf16Length(WideFromUtf8(CompactJson(FormatReceipt(receipt))));
    const std::size_t gap = kEventStringLimit - shortest;
    for (std::size_t pair = 0; pair < gap / 2; ++pair)
        receipt.commandLine += WideFromUtf8("\xF0\x9F\x98\x80");
    receipt.commandLine.append(gap % 2, L'x');
    const EventPlaces places = {L"C:\\kit\\d.exe", L"", L"", L"C:\\receipts\\PC1.json", L"", true};
    std::string json = FormatReceipt(receipt);
    EXPECT_EQ(FormatRunEvent(receipt, json, places).data, WideFromUtf8(CompactJson(json)));

    receipt.commandLine += L'x';
    json = FormatReceipt(receipt);
    const std::string digest = Utf8FromText(FormatRunEvent(receipt, json, places).data);
    EXPECT_EQ(digest, FormatReceiptDigest(receipt, kEventStringLimit + 1, places.receiptPath));
    EXPECT_NE(digest.find("\"receiptLength\": 31840,\n  \"receiptFile\": \"C:\\\\receipts\\\\PC1.json\""),
              std::string::npos);
    if (const char* file = std::getenv("WRAPPER_EVENT_DIGEST"))
        std::ofstream(file, std::ios::binary) << digest;
}

} // namespace
