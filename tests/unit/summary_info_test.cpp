#include "payload/ansi_text.h"
#include "payload/compound_file.h"
#include "payload/summary_info.h"
#include "support/compound_file_image.h"
#include "tools/summary_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

// What the installer answers is taken from Wine 8's msi.dll, asked about
// files like these ones.

namespace {

constexpr unsigned kKeywords = 5;
constexpr unsigned kTemplate = 7;
constexpr std::size_t kSectionAt = 48;

// Codepage 1252, Keywords and Template, as a patch carries them.
std::vector<SummaryValue> PatchValues()
{
    return {summary_number(1, 1252), summary_text(kKeywords, "3.2.40.0;3.2.10.0"), summary_text(kTemplate, "{A};{B}")};
}

// Offset in the stream of the table row of the n-th property, and of its value.
std::size_t RowAt(std::size_t n)
{
    return kSectionAt + 8 + n * 8;
}

std::size_t ValueAt(const std::vector<std::uint8_t>& stream, std::size_t n)
{
    return kSectionAt + GetLittle32(stream, RowAt(n) + 4);
}

SummaryInformation Parsed(const std::vector<std::uint8_t>& stream, bool expectReadable = true)
{
    SummaryInformation info;
    EXPECT_EQ(ParseSummaryInformation(stream.data(), stream.size(), info), expectReadable);
    return info;
}

// --- the property set ----------------------------------------------------------

TEST(SummaryInformation, ReadsTextAndCodePage)
{
    const SummaryInformation info = Parsed(summary_stream_bytes(PatchValues()));
    EXPECT_EQ(SummaryCodePageOf(info), 1252u);
    EXPECT_EQ(info.properties[kKeywords].type, kSummaryText);
    EXPECT_EQ(info.properties[kKeywords].text, "3.2.40.0;3.2.10.0");
    EXPECT_EQ(info.properties[kTemplate].text, "{A};{B}");
    EXPECT_EQ(info.properties[9].type, kSummaryEmpty);
}

TEST(SummaryInformation, AnAbsentPropertyIsNotAnEmptyOne)
{
    const SummaryInformation info =
        Parsed(summary_stream_bytes({summary_number(1, 1252), summary_text(kKeywords, ""), summary_number(15, 2)}));
    EXPECT_EQ(info.properties[kKeywords].type, kSummaryText);
    EXPECT_EQ(info.properties[kKeywords].text, "");
    EXPECT_EQ(info.properties[kTemplate].type, kSummaryEmpty);
    EXPECT_EQ(info.properties[15].type, kSummaryInt32);
    EXPECT_EQ(info.properties[15].number, 2);
}

struct StoredRow {
    const char* what;
    std::uint32_t type;            // written over the Keywords' type
    std::uint32_t length;          // written over its length, unless 0xFFFFFFFF
    std::uint32_t resultType;
    std::string resultText;
};

TEST(SummaryInformation, KeywordsOfOtherTypesAsTheInstallerConvertsThem)
{
    const StoredRow rows[] = {
        {"text", kSummaryText, 0xFFFFFFFF, kSummaryText, "ab;cd"},
        {"stored empty: empty text", kSummaryEmpty, 0xFFFFFFFF, kSummaryText, ""},
        {"two-byte integer: absent", kSummaryInt16, 0xFFFFFFFF, kSummaryEmpty, ""},
        {"four-byte integer: absent", kSummaryInt32, 0xFFFFFFFF, kSummaryEmpty, ""},
        {"file time: absent", kSummaryTime, 0xFFFFFFFF, kSummaryEmpty, ""},
        {"wide text: absent", 31, 0xFFFFFFFF, kSummaryEmpty, ""},
        {"BSTR: absent", 8, 0xFFFFFFFF, kSummaryEmpty, ""},
        {"length 0: empty text", kSummaryText, 0, kSummaryText, ""},
        {"length 1: only the terminator", kSummaryText, 1, kSummaryText, ""},
        {"length 3: the last byte is the terminator", kSummaryText, 3, kSummaryText, "ab"},
        {"length 5 without a terminator", kSummaryText, 5, kSummaryText, "ab;c"},
    };
    for (const StoredRow& row : rows) {
        std::vector<std::uint8_t> stream =
            summary_stream_bytes({summary_number(1, 1252), summary_text(kKeywords, "ab;cd")});
        PutLittle32(stream, ValueAt(stream, 1), row.type);
        if (row.length != 0xFFFFFFFF)
            PutLittle32(stream, ValueAt(stream, 1) + 4, row.length);
        const SummaryInformation info = Parsed(stream);
        EXPECT_EQ(info.properties[kKeywords].type, row.resultType) << row.what;
        EXPECT_EQ(info.properties[kKeywords].text, row.resultText) << row.what;
        EXPECT_EQ(SummaryCodePageOf(info), 1252u) << row.what;
    }
}

TEST(SummaryInformation, TextEndsAtItsFirstNul)
{
    const SummaryInformation info = Parsed(summary_stream_bytes({summary_text(kKeywords, std::string("ab\0cd", 5))}));
    EXPECT_EQ(info.properties[kKeywords].text, "ab");
}

TEST(SummaryInformation, CodePageStoredAsFourBytesWhenItFits)
{
    for (std::int32_t stored : {1252, 65001, -1}) {
        std::vector<std::uint8_t> stream = summary_stream_bytes({summary_number(1, stored)});
        PutLittle32(stream, ValueAt(stream, 0), kSummaryInt32);
        PutLittle32(stream, ValueAt(stream, 0) + 4, static_cast<std::uint32_t>(stored));
        // 65001 does not fit the two-byte type, so it does not convert.
        EXPECT_EQ(SummaryCodePageOf(Parsed(stream)), stored == 1252 ? 1252u : stored == -1 ? 0xFFFFu : 0u);
    }
    // Stored as two bytes, 65001 reads back whole.
    EXPECT_EQ(SummaryCodePageOf(Parsed(summary_stream_bytes({summary_number(1, 65001)}))), 65001u);
}

TEST(SummaryInformation, ALaterEntryOfTheSameIdWins)
{
    std::vector<SummaryValue> values = PatchValues();
    values.push_back(summary_text(kKeywords, "second;x"));
    EXPECT_EQ(Parsed(summary_stream_bytes(values)).properties[kKeywords].text, "second;x");

    // One that does not convert leaves the id absent.
    values.back() = summary_number(kKeywords, 3);
    EXPECT_EQ(Parsed(summary_stream_bytes(values)).properties[kKeywords].type, kSummaryEmpty);
}

TEST(SummaryInformation, ReadingStopsWhereTheInstallerStops)
{
    // Codepage, Subject (3), Keywords, Template: Subject's id is replaced by
    // one the installer does not read, after which it reads nothing more.
    for (std::uint32_t id : {0u, 10u, 17u, 20u, 0xFFFFFFFFu}) {
        std::vector<std::uint8_t> stream = summary_stream_bytes(
            {summary_number(1, 1252), summary_text(3, "subject"), summary_text(kKeywords, "a;b"),
             summary_text(kTemplate, "{A}")});
        PutLittle32(stream, RowAt(1), id);
        const SummaryInformation info = Parsed(stream);
        EXPECT_EQ(SummaryCodePageOf(info), 1252u) << id;
        EXPECT_EQ(info.properties[kKeywords].type, kSummaryEmpty) << id;
        EXPECT_EQ(info.properties[kTemplate].type, kSummaryEmpty) << id;
    }
}

TEST(SummaryInformation, AValueRunningPastItsSectionEndsTheReading)
{
    struct Row {
        const char* what;
        std::size_t field;  // offset from the Keywords' value
        std::uint32_t value;
    };
    const Row rows[] = {
        {"text longer than the section", 4, 1000},
        {"text length near 2^32", 4, 0xFFFFFFFF},
    };
    for (const Row& row : rows) {
        std::vector<std::uint8_t> stream = summary_stream_bytes(PatchValues());
        PutLittle32(stream, ValueAt(stream, 1) + row.field, row.value);
        const SummaryInformation info = Parsed(stream);
        EXPECT_EQ(SummaryCodePageOf(info), 1252u) << row.what;
        EXPECT_EQ(info.properties[kKeywords].type, kSummaryEmpty) << row.what;
        EXPECT_EQ(info.properties[kTemplate].type, kSummaryEmpty) << row.what;
    }

    // The last text may end exactly where the section ends, not a byte later.
    for (std::uint32_t over : {0u, 1u}) {
        std::vector<std::uint8_t> stream = summary_stream_bytes(PatchValues());
        const std::size_t value = ValueAt(stream, 2);
        PutLittle32(stream, value + 4, static_cast<std::uint32_t>(stream.size() - value - 8 + over));
        EXPECT_EQ(Parsed(stream).properties[kTemplate].type, over == 0 ? kSummaryText : kSummaryEmpty) << over;
    }

    // A value offset past the section, and a file time cut short by it.
    std::vector<std::uint8_t> stream = summary_stream_bytes(PatchValues());
    PutLittle32(stream, RowAt(1) + 4, 0xFFFFFFF0);
    EXPECT_EQ(Parsed(stream).properties[kKeywords].type, kSummaryEmpty);
    stream = summary_stream_bytes({summary_number(1, 1252), summary_number(12, 0)});
    PutLittle32(stream, ValueAt(stream, 1), kSummaryTime);
    EXPECT_EQ(Parsed(stream).properties[12].type, kSummaryEmpty);
    stream.insert(stream.end(), 4, 0);
    PutLittle32(stream, kSectionAt, GetLittle32(stream, kSectionAt) + 4);
    EXPECT_EQ(Parsed(stream).properties[12].type, kSummaryTime);
}

TEST(SummaryInformation, SetsTheInstallerCannotReadHaveNoProperties)
{
    struct Row {
        const char* what;
        std::size_t at;
        std::uint32_t value;
    };
    const std::vector<std::uint8_t> good = summary_stream_bytes(PatchValues());
    const Row rows[] = {
        {"big-endian byte order", 0, 0xFEFF},
        {"another format id", 28, 0xF29F85E1},
        {"section past the stream", 44, 0x10000},
        {"section header past the stream", 44, static_cast<std::uint32_t>(good.size() - 4)},
        {"21 properties", kSectionAt + 4, 21},
        {"section longer than the stream", kSectionAt, static_cast<std::uint32_t>(good.size())},
        {"section shorter than its header", kSectionAt, 4},
        {"section shorter than its table", kSectionAt, 8 + 8},
    };
    for (const Row& row : rows) {
        std::vector<std::uint8_t> stream = good;
        PutLittle32(stream, row.at, row.value);
        const SummaryInformation info = Parsed(stream, false);
        for (const SummaryProperty& property : info.properties)
            EXPECT_EQ(property.type, kSummaryEmpty) << row.what;
    }
    // Twenty properties at most, whatever room the section gives.
    for (std::size_t count : {20u, 21u}) {
        std::vector<SummaryValue> values(count, summary_text(kKeywords, "k;"));
        values.back().text = "last;";
        const SummaryInformation info = Parsed(summary_stream_bytes(values), count == 20);
        EXPECT_EQ(info.properties[kKeywords].text, count == 20 ? "last;" : "") << count;
    }
    for (std::size_t size : {0, 1, 47}) {
        SummaryInformation info = Parsed(good);
        EXPECT_FALSE(ParseSummaryInformation(good.data(), size, info)) << size;
        EXPECT_EQ(info.properties[kKeywords].type, kSummaryEmpty) << size;
    }
}

// --- from a compound file ------------------------------------------------------

std::vector<std::uint8_t> PatchImage(const std::vector<std::uint8_t>& summary)
{
    return CompoundFileImage({{{u"\005SummaryInformation"}, summary}, {{u"T1", u"x"}, {1, 2, 3}}});
}

std::wstring Marked(const std::string& bytes, unsigned codePage)
{
    return L"[" + std::to_wstring(codePage) + L"]" + WidenAnsiText(bytes, codePage);
}

SummaryTextResult ReadText(const std::vector<std::uint8_t>& image, unsigned property, std::wstring& text,
                           SummaryTextConverter convert = WidenAnsiText)
{
    CompoundFile file;
    EXPECT_TRUE(OpenCompoundFile(image.data(), image.size(), file));
    return ReadSummaryText(file, property, text, convert);
}

TEST(SummaryText, PresentAbsentAndUnreadableApart)
{
    const std::vector<std::uint8_t> image = PatchImage(summary_stream_bytes(
        {summary_number(1, 1252), summary_text(kKeywords, "3.2.40.0;3.2.10.0"), summary_text(kTemplate, "")}));
    std::wstring text = L"before";
    EXPECT_EQ(ReadText(image, kKeywords, text), kSummaryTextPresent);
    EXPECT_EQ(text, L"3.2.40.0;3.2.10.0");
    EXPECT_EQ(ReadText(image, kTemplate, text), kSummaryTextPresent);
    EXPECT_EQ(text, L"");

    // The installer leaves the caller's buffer as it was for an absent one.
    text = L"before";
    for (unsigned property : {2u, 9u, 1u, 19u, 20u, 1000u}) {
        EXPECT_EQ(ReadText(image, property, text), kSummaryTextAbsent) << property;
        EXPECT_EQ(text, L"before") << property;
    }

    // A stream that is no property set: the installer opens the summary
    // and finds nothing in it.
    std::vector<std::uint8_t> stream = summary_stream_bytes(PatchValues());
    stream[0] = 0;
    EXPECT_EQ(ReadText(PatchImage(stream), kKeywords, text), kSummaryTextAbsent);

    const std::vector<std::uint8_t> noSummary = CompoundFileImage({{{u"SummaryInformation"}, {1}}});
    EXPECT_EQ(ReadText(noSummary, kKeywords, text), kSummaryUnreadable);
    EXPECT_EQ(text, L"before");
}

TEST(SummaryText, TheStreamIsFoundWhateverTheCaseOfItsName)
{
    const std::vector<std::uint8_t> image =
        CompoundFileImage({{{u"\005SUMMARYINFORMATION"}, summary_stream_bytes(PatchValues())}});
    std::wstring text;
    EXPECT_EQ(ReadText(image, kTemplate, text), kSummaryTextPresent);
    EXPECT_EQ(text, L"{A};{B}");
}

TEST(SummaryText, AStreamThatCannotBeReadWholeIsUnreadable)
{
    ImageLayout layout;
    std::vector<std::uint8_t> image =
        CompoundFileImage({{{u"\005SummaryInformation"}, summary_stream_bytes(PatchValues())}}, ImageOptions(), &layout);
    PutLittle32(image, MiniFatEntryOffset(layout, layout.streamStarts[0]), layout.streamStarts[0]);
    std::wstring text = L"before";
    EXPECT_EQ(ReadText(image, kKeywords, text), kSummaryUnreadable);
    EXPECT_EQ(text, L"before");

    // A storage of that name is no stream.
    image = CompoundFileImage({{{u"\005SummaryInformation", u"inner"}, summary_stream_bytes(PatchValues())}});
    EXPECT_EQ(ReadText(image, kKeywords, text), kSummaryUnreadable);
}

TEST(SummaryText, StreamsOverTheLimitAreNotRead)
{
    for (std::size_t size : {kMaxSummaryStreamBytes, kMaxSummaryStreamBytes + 1}) {
        std::vector<std::uint8_t> stream = summary_stream_bytes(PatchValues());
        stream.resize(size);
        std::wstring text;
        EXPECT_EQ(ReadText(PatchImage(stream), kKeywords, text),
                  size <= kMaxSummaryStreamBytes ? kSummaryTextPresent : kSummaryUnreadable)
            << size;
    }
}

TEST(SummaryText, TheConverterGetsTheBytesAndTheCodePage)
{
    std::wstring text;
    EXPECT_EQ(ReadText(PatchImage(summary_stream_bytes(
                           {summary_number(1, 1251), summary_text(kKeywords, "Pr\xfc" "f;1")})),
                       kKeywords, text, Marked),
              kSummaryTextPresent);
    EXPECT_EQ(text, L"[1251]Pr\xfffd" L"f;1");
    EXPECT_EQ(ReadText(PatchImage(summary_stream_bytes({summary_text(kKeywords, "Pr\xfc" "f;1")})), kKeywords, text,
                       Marked),
              kSummaryTextPresent);
    EXPECT_EQ(text, L"[0]Pr\xfc" L"f;1");
}

TEST(SummaryText, InstallerFilesByTheirRootClass)
{
    struct Row {
        std::uint8_t first;
        std::uint8_t last;
        bool package;
    };
    const Row rows[] = {{0x82, 0x46, true}, {0x84, 0x46, true}, {0x86, 0x46, true},
                        {0x88, 0x46, false}, {0x86, 0x47, false}, {0x00, 0x00, false}};
    for (const Row& row : rows) {
        ImageOptions options;
        const std::uint8_t patch[16] = {0x86, 0x10, 0x0C, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
        std::copy(patch, patch + 16, options.rootClassId);
        options.rootClassId[0] = row.first;
        options.rootClassId[15] = row.last;
        const std::vector<std::uint8_t> image = CompoundFileImage({{{u"a"}, {1}}}, options);
        CompoundFile file;
        ASSERT_TRUE(OpenCompoundFile(image.data(), image.size(), file));
        EXPECT_EQ(HasPackageClass(file), row.package) << int(row.first) << " " << int(row.last);
    }
    EXPECT_FALSE(HasPackageClass(CompoundFile()));
}

// --- single-byte text ----------------------------------------------------------

TEST(WidenAnsiText, ExactForAsciiAndTheCodePagesItKnows)
{
    struct Row {
        std::string bytes;
        unsigned codePage;
        std::wstring text;
    };
    const Row rows[] = {
        {"{6F1C-0B7A};3.2.40.0", 1251, L"{6F1C-0B7A};3.2.40.0"},
        {"\x7f", 932, L"\x7f"},
        {"\x80\x9f\xa0\xfc\xff", 1252, L"\x20ac\x0178\x00a0\x00fc\x00ff"},
        {"\x80\xfc", 0, L"\x20ac\x00fc"},
        {"\x81\x8d\x8f\x90\x9d", 1252, L"\xfffd\xfffd\xfffd\xfffd\xfffd"},
        {"\x80\xfc", 28591, L"\x0080\x00fc"},
        {"\x80\xfc", 1251, L"\xfffd\xfffd"},
        {"\xc3\xbc", 65001, L"\xfffd\xfffd"},
        {std::string("a\0b", 3), 1252, std::wstring(L"a\0b", 3)},
        {"", 1252, L""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(WidenAnsiText(row.bytes, row.codePage), row.text) << row.bytes << " " << row.codePage;
}

} // namespace
