#include "payload/compound_file.h"
#include "support/compound_file_image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 8));
    return bytes;
}

// Reads the stream at `path` (storage names, then the stream's); false when
// a storage or the stream is missing or the read fails.
bool ReadPath(const CompoundFile& file, const std::vector<std::u16string>& path, std::vector<std::uint8_t>& out)
{
    std::uint32_t entry = kRootEntry;
    for (const std::u16string& name : path) {
        entry = FindChild(file, entry, name);
        if (entry == kNoEntry)
            return false;
    }
    return ReadStream(file, entry, out, SIZE_MAX);
}

std::vector<std::u16string> ChildNames(const CompoundFile& file, std::uint32_t storage)
{
    std::vector<std::uint32_t> children;
    EXPECT_TRUE(ListChildren(file, storage, children));
    std::vector<std::u16string> names;
    for (std::uint32_t child : children)
        names.push_back(file.entries[child].name);
    return names;
}

// --- sound images -------------------------------------------------------------

class CompoundFileSectorSize : public testing::TestWithParam<unsigned> {};

TEST_P(CompoundFileSectorSize, ReadsEveryStreamWhereverItLies)
{
    // Around the mini sector, the cutoff and the sector: mini stream,
    // regular sectors, and chains crossing sectors of both kinds.
    const std::size_t sizes[] = {0, 1, 63, 64, 65, 511, 512, 513, 4095, 4096, 4097, 9000, 20000};
    std::vector<ImageStream> streams;
    for (std::size_t size : sizes) {
        const std::string name = "s" + std::to_string(size);
        streams.push_back({{std::u16string(name.begin(), name.end())},
                           Pattern(size, static_cast<std::uint8_t>(size))});
    }
    ImageOptions options;
    options.sectorShift = GetParam();
    const std::vector<std::uint8_t> image = CompoundFileImage(streams, options);

    CompoundFile file;
    ASSERT_TRUE(OpenCompoundFile(image.data(), image.size(), file));
    EXPECT_EQ(file.sectorSize, 1u << GetParam());
    for (const ImageStream& stream : streams) {
        std::vector<std::uint8_t> read(3, 0xAA);
        EXPECT_TRUE(ReadPath(file, stream.path, read)) << stream.bytes.size();
        EXPECT_EQ(read, stream.bytes) << stream.bytes.size();
    }
}

// The directory's cap at its edge: kMaxDirectoryEntries open, a sector
// more does not.
TEST_P(CompoundFileSectorSize, ADirectoryOfTheCapOpensOneSectorMoreDoesNot)
{
    ImageOptions options;
    options.sectorShift = GetParam();
    for (std::size_t entries : {kMaxDirectoryEntries, kMaxDirectoryEntries + (1u << GetParam()) / 128}) {
        options.minimumDirectoryEntries = entries;
        const std::vector<std::uint8_t> image = CompoundFileImage({{{u"a"}, Pattern(5, 1)}}, options);
        CompoundFile file;
        EXPECT_EQ(OpenCompoundFile(image.data(), image.size(), file), entries == kMaxDirectoryEntries) << entries;
        EXPECT_EQ(file.entries.size(), entries == kMaxDirectoryEntries ? entries : 0u);
    }
}

// A chain that climbs with a gap (first, first + 2, first + 3, ...): the
// sector skipped is not the stream's, though its neighbours are. Above the
// cutoff, so that the chain is one of regular sectors.
TEST_P(CompoundFileSectorSize, AChainThatSkipsASectorReadsItsOwnSectors)
{
    ImageOptions options;
    options.sectorShift = GetParam();
    const std::uint32_t size = 1u << GetParam();
    const std::uint32_t count = 4096 / size + 3;
    ImageLayout layout;
    std::vector<std::uint8_t> image = CompoundFileImage({{{u"s"}, Pattern(count * size, 3)}}, options, &layout);
    const std::uint32_t first = layout.streamStarts[0];
    PutLittle32(image, FatEntryOffset(layout, first), first + 2);
    PutLittle32(image, DirectoryEntryOffset(layout, layout.streamEntries[0]) + kEntrySizeField, (count - 1) * size);
    std::vector<std::uint8_t> expected(image.begin() + SectorOffset(layout, first),
                                       image.begin() + SectorOffset(layout, first) + size);
    expected.insert(expected.end(), image.begin() + SectorOffset(layout, first + 2),
                    image.begin() + SectorOffset(layout, first + count));
    CompoundFile file;
    ASSERT_TRUE(OpenCompoundFile(image.data(), image.size(), file));
    std::vector<std::uint8_t> read;
    EXPECT_TRUE(ReadPath(file, {u"s"}, read));
    EXPECT_TRUE(read == expected);
}

INSTANTIATE_TEST_SUITE_P(Shifts, CompoundFileSectorSize, testing::Values(9u, 12u));

TEST(CompoundFile, ListsNestedStoragesInDirectoryOrder)
{
    const std::vector<ImageStream> streams = {
        {{u"T2", u"\u4840Property"}, Pattern(10, 1)},
        {{u"T10", u"deep", u"leaf"}, Pattern(5000, 2)},
        {{u"T1", u"b"}, Pattern(3, 3)},
        {{u"T1", u"A"}, Pattern(4, 4)},
        {{u"\005SummaryInformation"}, Pattern(200, 5)},
        {{u"z"}, Pattern(1, 6)},
    };
    const std::vector<std::uint8_t> image = CompoundFileImage(streams);
    CompoundFile file;
    ASSERT_TRUE(OpenCompoundFile(image.data(), image.size(), file));

    // Shorter names first, then letters regardless of case.
    EXPECT_EQ(ChildNames(file, kRootEntry),
              (std::vector<std::u16string>{u"z", u"T1", u"T2", u"T10", u"\005SummaryInformation"}));
    EXPECT_EQ(ChildNames(file, FindChild(file, kRootEntry, u"T1")), (std::vector<std::u16string>{u"A", u"b"}));
    for (const ImageStream& stream : streams) {
        std::vector<std::uint8_t> read;
        EXPECT_TRUE(ReadPath(file, stream.path, read));
        EXPECT_EQ(read, stream.bytes);
    }
    EXPECT_EQ(file.entries[FindChild(file, kRootEntry, u"T10")].type, kEntryStorage);
}

// A stream of exactly the cutoff lies in regular sectors, and only their
// space counts for it: here the mini stream is far smaller than the stream.
TEST(CompoundFile, AStreamOfExactlyTheCutoffLiesInRegularSectors)
{
    const std::vector<ImageStream> streams = {{{u"small"}, Pattern(100, 1)}, {{u"cutoff"}, Pattern(4096, 2)}};
    const std::vector<std::uint8_t> image = CompoundFileImage(streams);
    CompoundFile file;
    ASSERT_TRUE(OpenCompoundFile(image.data(), image.size(), file));
    ASSERT_LT(file.miniStreamSize, 4096u);
    std::vector<std::uint8_t> read;
    EXPECT_TRUE(ReadPath(file, {u"cutoff"}, read));
    EXPECT_EQ(read, streams[1].bytes);
}

// Names are looked up down the tree, as structured-storage readers do: of
// two siblings whose names fold alike the one met first on the way down
// is taken, and a name placed out of order is not found.
TEST(CompoundFile, LookupsDescendTheTreeInTheFormatsOrder)
{
    ImageLayout layout;
    std::vector<std::uint8_t> image = CompoundFileImage(
        {{{u"a"}, Pattern(10, 1)}, {{u"b"}, Pattern(20, 2)}, {{u"c"}, Pattern(30, 3)}}, ImageOptions(), &layout);
    const std::uint32_t top = GetLittle32(image, DirectoryEntryOffset(layout, 0) + kEntryChildField);
    ASSERT_EQ(top, layout.streamEntries[1]) << "the writer balances a, b, c around b";
    image[DirectoryEntryOffset(layout, layout.streamEntries[0])] = 'B';  // left of b: folds like b
    image[DirectoryEntryOffset(layout, layout.streamEntries[2])] = 'A';  // right of b: out of order
    CompoundFile file;
    ASSERT_TRUE(OpenCompoundFile(image.data(), image.size(), file));
    EXPECT_EQ(FindChild(file, kRootEntry, u"b"), layout.streamEntries[1]);
    EXPECT_EQ(FindChild(file, kRootEntry, u"B"), layout.streamEntries[1]);
    EXPECT_EQ(FindChild(file, kRootEntry, u"A"), kNoEntry);
}

TEST(CompoundFile, ChildrenOfAStreamOrAMissingEntryAreRefused)
{
    const std::vector<std::uint8_t> image = CompoundFileImage({{{u"a"}, Pattern(5, 0)}});
    CompoundFile file;
    ASSERT_TRUE(OpenCompoundFile(image.data(), image.size(), file));
    std::vector<std::uint32_t> children = {7};
    EXPECT_FALSE(ListChildren(file, FindChild(file, kRootEntry, u"a"), children));
    EXPECT_TRUE(children.empty());
    EXPECT_FALSE(ListChildren(file, 1000, children));
    EXPECT_EQ(FindChild(file, 1000, u"a"), kNoEntry);
}

struct NameRow {
    std::u16string stored;
    std::u16string asked;
    bool same;
};

TEST(CompoundFile, NamesCompareWithoutCaseOfLettersOnly)
{
    const NameRow rows[] = {
        {u"\005SummaryInformation", u"\005summaryinformation", true},
        {u"Property", u"PROPERTY", true},
        {u"Property", u"Propert", false},
        {u"Property", u"Properties", false},
        {u"a_b", u"A_B", true},
        {u"a@b", u"a`b", false},              // neighbours of the letters stay apart
        {u"[", u"{", false},
        {u"\u00e9t\u00e9", u"\u00c9T\u00c9", true},  // Latin-1 letters fold too
        {u"\u00f7", u"\u00d7", false},        // division and multiplication signs are no letters
        {u"\u00ff", u"\u0178", true},
        {u"\u4840\u3f3f", u"\u4840\u3f3f", true},
        {u"\u4840\u3f3f", u"\u4840\u3f3e", false},
        {u"", u"", true},
    };
    for (const NameRow& row : rows) {
        EXPECT_EQ(SameEntryName(row.stored, row.asked), row.same);
        EXPECT_EQ(SameEntryName(row.asked, row.stored), row.same);
    }

    const std::vector<std::uint8_t> image = CompoundFileImage({{{u"Property"}, Pattern(5, 0)}});
    CompoundFile file;
    ASSERT_TRUE(OpenCompoundFile(image.data(), image.size(), file));
    EXPECT_NE(FindChild(file, kRootEntry, u"pRoPeRtY"), kNoEntry);
    EXPECT_EQ(FindChild(file, kRootEntry, u"Propert"), kNoEntry);
}

TEST(CompoundFile, StreamReadsStopAtTheCallersLimit)
{
    const std::vector<std::uint8_t> image =
        CompoundFileImage({{{u"small"}, Pattern(100, 1)}, {{u"big"}, Pattern(5000, 2)}});
    CompoundFile file;
    ASSERT_TRUE(OpenCompoundFile(image.data(), image.size(), file));
    for (const char16_t* name : {u"small", u"big"}) {
        const std::uint32_t entry = FindChild(file, kRootEntry, name);
        const std::size_t size = static_cast<std::size_t>(file.entries[entry].size);
        std::vector<std::uint8_t> out(1, 0);
        EXPECT_FALSE(ReadStream(file, entry, out, size - 1));
        EXPECT_TRUE(out.empty());
        EXPECT_TRUE(ReadStream(file, entry, out, size));
        EXPECT_EQ(out.size(), size);
    }
    std::vector<std::uint8_t> out;
    EXPECT_FALSE(ReadStream(file, kRootEntry, out, SIZE_MAX));  // the root is no stream
}

TEST(CompoundFile, FatSectorsListedInTheDifatChain)
{
    // Over 109 FAT sectors: the rest are listed in DIFAT sectors. A stream of
    // 7.5 MB reaches sectors whose FAT entries lie in those.
    const std::vector<ImageStream> streams = {{{u"big"}, Pattern(7500000, 9)}, {{u"small"}, Pattern(700, 3)}};
    ImageLayout layout;
    const std::vector<std::uint8_t> image = CompoundFileImage(streams, ImageOptions(), &layout);
    ASSERT_GT(layout.fatSectors.size(), 109u);
    ASSERT_EQ(layout.difatSectors.size(), 1u);
    CompoundFile file;
    ASSERT_TRUE(OpenCompoundFile(image.data(), image.size(), file));
    for (const ImageStream& stream : streams) {
        std::vector<std::uint8_t> read;
        EXPECT_TRUE(ReadPath(file, stream.path, read));
        EXPECT_TRUE(read == stream.bytes);
    }

    // Two DIFAT sectors, linked; free FAT sectors pad the FAT.
    ImageOptions padded;
    padded.minimumFatSectors = 300;
    const std::vector<std::uint8_t> small = CompoundFileImage(streams, padded, &layout);
    ASSERT_EQ(layout.difatSectors.size(), 2u);
    ASSERT_TRUE(OpenCompoundFile(small.data(), small.size(), file));
    std::vector<std::uint8_t> read;
    EXPECT_TRUE(ReadPath(file, {u"small"}, read));
    EXPECT_EQ(read, streams[1].bytes);
}

TEST(CompoundFile, TheHighSizeWordCountsOnlyWith4096ByteSectors)
{
    for (unsigned shift : {9u, 12u}) {
        ImageOptions options;
        options.sectorShift = shift;
        ImageLayout layout;
        std::vector<std::uint8_t> image = CompoundFileImage({{{u"a"}, Pattern(5000, 1)}}, options, &layout);
        PutLittle32(image, DirectoryEntryOffset(layout, layout.streamEntries[0]) + kEntrySizeField + 4, 1);
        CompoundFile file;
        ASSERT_TRUE(OpenCompoundFile(image.data(), image.size(), file));
        std::vector<std::uint8_t> read;
        EXPECT_EQ(ReadPath(file, {u"a"}, read), shift == 9) << shift;
    }
}

TEST(CompoundFile, AFreeMiniFatStartMeansNoMiniFat)
{
    // Some writers mark a missing mini FAT free instead of ending it.
    const std::vector<std::uint8_t> image = CompoundFileImage({{{u"big"}, Pattern(5000, 1)}});
    for (std::uint32_t none : {0xFFFFFFFEu, 0xFFFFFFFFu}) {
        std::vector<std::uint8_t> marked = image;
        PutLittle32(marked, 0x3C, none);
        CompoundFile file;
        ASSERT_TRUE(OpenCompoundFile(marked.data(), marked.size(), file)) << none;
        EXPECT_TRUE(file.miniFatSectors.empty());
        std::vector<std::uint8_t> read;
        EXPECT_TRUE(ReadPath(file, {u"big"}, read));
    }
}

TEST(CompoundFile, AFailedOpenLeavesTheRecordAlone)
{
    const std::vector<std::uint8_t> image = CompoundFileImage({{{u"a"}, Pattern(5, 0)}});
    CompoundFile file;
    ASSERT_TRUE(OpenCompoundFile(image.data(), image.size(), file));
    std::vector<std::uint8_t> broken = image;
    broken[0] = 0;
    EXPECT_FALSE(OpenCompoundFile(broken.data(), broken.size(), file));
    EXPECT_EQ(file.source.context, image.data());
    EXPECT_NE(FindChild(file, kRootEntry, u"a"), kNoEntry);
}

// --- damaged and hostile images -------------------------------------------------

struct Damage {
    const char* what;
    std::function<void(std::vector<std::uint8_t>&, const ImageLayout&)> apply;
};

// Streams: "mini" (300 bytes, mini stream), "big" (5000 bytes, 10 sectors),
// "T/inner" (20 bytes) inside storage "T".
std::vector<ImageStream> DamageStreams()
{
    return {{{u"mini"}, Pattern(300, 1)}, {{u"big"}, Pattern(5000, 2)}, {{u"T", u"inner"}, Pattern(20, 3)}};
}

std::size_t EntryField(const ImageLayout& layout, std::uint32_t entry, std::size_t field)
{
    return DirectoryEntryOffset(layout, entry) + field;
}

TEST(CompoundFileDamage, HeadersAndTablesThatCannotBeOpened)
{
    const Damage damages[] = {
        {"wrong signature", [](auto& image, auto&) { image[7] = 0xE0; }},
        {"big-endian byte order", [](auto& image, auto&) { image[0x1C] = 0xFF, image[0x1D] = 0xFE; }},
        {"sector shift 10", [](auto& image, auto&) { image[0x1E] = 10; }},
        {"sector shift 31", [](auto& image, auto&) { image[0x1E] = 31; }},
        {"sector shift 0", [](auto& image, auto&) { image[0x1E] = 0; }},
        {"mini sector shift 7", [](auto& image, auto&) { image[0x20] = 7; }},
        {"mini stream cutoff 4095", [](auto& image, auto&) { PutLittle32(image, 0x38, 4095); }},
        {"mini stream cutoff 2^32-1", [](auto& image, auto&) { PutLittle32(image, 0x38, 0xFFFFFFFF); }},
        {"FAT sector count beyond the file", [](auto& image, auto&) { PutLittle32(image, 0x2C, 0xFFFFFFFF); }},
        {"FAT sector past the end", [](auto& image, auto&) { PutLittle32(image, 0x4C, 0x7FFFFFFF); }},
        {"FAT sector marked free", [](auto& image, auto&) { PutLittle32(image, 0x4C, 0xFFFFFFFF); }},
        {"FAT sector just past the last sector",
         [](auto& image, auto& layout) {
             PutLittle32(image, 0x4C, static_cast<std::uint32_t>((image.size() - 512) / layout.sectorSize));
         }},
        {"directory starts past the end", [](auto& image, auto&) { PutLittle32(image, 0x30, 5000); }},
        {"directory starts at the end of a chain", [](auto& image, auto&) { PutLittle32(image, 0x30, 0xFFFFFFFE); }},
        {"directory chain loops",
         [](auto& image, auto& layout) {
             PutLittle32(image, FatEntryOffset(layout, layout.directorySectors.back()), layout.directorySectors[0]);
         }},
        {"mini FAT chain loops",
         [](auto& image, auto& layout) {
             PutLittle32(image, FatEntryOffset(layout, layout.miniFatSectors[0]), layout.miniFatSectors[0]);
         }},
        {"mini stream larger than its chain",
         [](auto& image, auto& layout) { PutLittle32(image, EntryField(layout, 0, kEntrySizeField), 0xFFFFFFC0); }},
        {"root entry is a storage", [](auto& image, auto& layout) { image[EntryField(layout, 0, 0x42)] = 1; }},
        {"root has no entry type", [](auto& image, auto& layout) { image[EntryField(layout, 0, 0x42)] = 0; }},
        {"sibling points to itself",
         [](auto& image, auto& layout) {
             const std::uint32_t entry = layout.streamEntries[0];
             PutLittle32(image, EntryField(layout, entry, kEntryLeftField), entry);
         }},
        {"siblings point at each other",
         [](auto& image, auto& layout) {
             const std::uint32_t a = layout.streamEntries[0], b = layout.streamEntries[1];
             const std::uint32_t top = GetLittle32(image, EntryField(layout, 0, kEntryChildField));
             PutLittle32(image, EntryField(layout, top, kEntryLeftField), top == a ? b : a);
             PutLittle32(image, EntryField(layout, top == a ? b : a, kEntryRightField), top);
         }},
        {"storage child is the root",
         [](auto& image, auto& layout) {
             const std::uint32_t storage = layout.streamEntries[2] - 1;
             PutLittle32(image, EntryField(layout, storage, kEntryChildField), 0);
         }},
        {"storage child is the storage itself",
         [](auto& image, auto& layout) {
             const std::uint32_t storage = layout.streamEntries[2] - 1;
             PutLittle32(image, EntryField(layout, storage, kEntryChildField), storage);
         }},
        {"two storages share a subtree",
         [](auto& image, auto& layout) {
             const std::uint32_t inner = layout.streamEntries[2];
             const std::uint32_t top = GetLittle32(image, EntryField(layout, 0, kEntryChildField));
             PutLittle32(image, EntryField(layout, top, kEntryRightField), inner);
         }},
        {"child index past the directory",
         [](auto& image, auto& layout) { PutLittle32(image, EntryField(layout, 0, kEntryChildField), 4000); }},
        {"tree reaches an unused entry",
         [](auto& image, auto& layout) {
             const std::uint32_t entry = layout.streamEntries[0];
             image[EntryField(layout, entry, 0x42)] = 7;
         }},
    };
    for (const Damage& damage : damages) {
        ImageLayout layout;
        std::vector<std::uint8_t> image = CompoundFileImage(DamageStreams(), ImageOptions(), &layout);
        damage.apply(image, layout);
        CompoundFile file;
        EXPECT_FALSE(OpenCompoundFile(image.data(), image.size(), file)) << damage.what;
        EXPECT_TRUE(file.entries.empty()) << damage.what;
    }
}

TEST(CompoundFileDamage, DifatChainsThatLoopOrLeaveTheFile)
{
    ImageOptions padded;
    padded.minimumFatSectors = 300;
    const Damage damages[] = {
        {"DIFAT links to itself",
         [](auto& image, auto& layout) {
             PutLittle32(image, SectorOffset(layout, layout.difatSectors[0]) + layout.sectorSize - 4,
                         layout.difatSectors[0]);
         }},
        {"DIFAT ends early",
         [](auto& image, auto& layout) {
             PutLittle32(image, SectorOffset(layout, layout.difatSectors[0]) + layout.sectorSize - 4, 0xFFFFFFFE);
         }},
        {"DIFAT lists a sector past the end",
         [](auto& image, auto& layout) { PutLittle32(image, SectorOffset(layout, layout.difatSectors[1]), 90000); }},
        {"first DIFAT sector past the end", [](auto& image, auto&) { PutLittle32(image, 0x44, 90000); }},
    };
    for (const Damage& damage : damages) {
        ImageLayout layout;
        std::vector<std::uint8_t> image = CompoundFileImage(DamageStreams(), padded, &layout);
        ASSERT_EQ(layout.difatSectors.size(), 2u);
        CompoundFile file;
        ASSERT_TRUE(OpenCompoundFile(image.data(), image.size(), file));
        damage.apply(image, layout);
        EXPECT_FALSE(OpenCompoundFile(image.data(), image.size(), file)) << damage.what;
    }
}

TEST(CompoundFileDamage, StreamsWhoseChainsDoNotHoldThem)
{
    // Each damage leaves the file open but makes one stream unreadable;
    // the others still read.
    struct StreamDamage {
        const char* what;
        std::size_t broken;  // index into DamageStreams()
        std::function<void(std::vector<std::uint8_t>&, const ImageLayout&)> apply;
    };
    const StreamDamage damages[] = {
        {"FAT chain loops back to its start", 1,
         [](auto& image, auto& layout) {
             PutLittle32(image, FatEntryOffset(layout, layout.streamStarts[1] + 4), layout.streamStarts[1]);
         }},
        {"FAT chain links to itself", 1,
         [](auto& image, auto& layout) {
             PutLittle32(image, FatEntryOffset(layout, layout.streamStarts[1]), layout.streamStarts[1]);
         }},
        {"FAT chain leaves the file", 1,
         [](auto& image, auto& layout) { PutLittle32(image, FatEntryOffset(layout, layout.streamStarts[1]), 0x00FFFFFF); }},
        {"FAT chain hits a free sector", 1,
         [](auto& image, auto& layout) {
             PutLittle32(image, FatEntryOffset(layout, layout.streamStarts[1] + 2), 0xFFFFFFFF);
         }},
        {"stream larger than its FAT chain", 1,
         [](auto& image, auto& layout) {
             PutLittle32(image, EntryField(layout, layout.streamEntries[1], kEntrySizeField), 5000 + 512);
         }},
        {"stream starts past the end", 1,
         [](auto& image, auto& layout) {
             PutLittle32(image, EntryField(layout, layout.streamEntries[1], kEntryStartField), 0x12345);
         }},
        {"stream starts at the end of a chain", 1,
         [](auto& image, auto& layout) {
             PutLittle32(image, EntryField(layout, layout.streamEntries[1], kEntryStartField), 0xFFFFFFFE);
         }},
        {"stream claims 4 GB", 1,
         [](auto& image, auto& layout) {
             PutLittle32(image, EntryField(layout, layout.streamEntries[1], kEntrySizeField), 0xFFFFFFF0);
         }},
        {"mini chain links to itself", 0,
         [](auto& image, auto& layout) {
             PutLittle32(image, MiniFatEntryOffset(layout, layout.streamStarts[0]), layout.streamStarts[0]);
         }},
        {"mini chain leaves the mini stream", 0,
         [](auto& image, auto& layout) {
             PutLittle32(image, MiniFatEntryOffset(layout, layout.streamStarts[0] + 1), 100000);
         }},
        {"stream larger than its mini chain", 0,
         [](auto& image, auto& layout) {
             PutLittle32(image, EntryField(layout, layout.streamEntries[0], kEntrySizeField), 300 + 64);
         }},
        {"mini stream starts past the mini stream", 2,
         [](auto& image, auto& layout) {
             PutLittle32(image, EntryField(layout, layout.streamEntries[2], kEntryStartField), 4000);
         }},
    };
    const std::vector<ImageStream> streams = DamageStreams();
    for (const StreamDamage& damage : damages) {
        ImageLayout layout;
        std::vector<std::uint8_t> image = CompoundFileImage(streams, ImageOptions(), &layout);
        damage.apply(image, layout);
        CompoundFile file;
        ASSERT_TRUE(OpenCompoundFile(image.data(), image.size(), file)) << damage.what;
        for (std::size_t i = 0; i < streams.size(); ++i) {
            std::vector<std::uint8_t> read;
            EXPECT_EQ(ReadPath(file, streams[i].path, read), i != damage.broken) << damage.what << ", stream " << i;
            EXPECT_EQ(read.empty(), i == damage.broken) << damage.what << ", stream " << i;
        }
    }
}

TEST(CompoundFileDamage, DeclaredSizesBeyondTheFileAllocateNothing)
{
    // 64-bit sizes count with 4096-byte sectors: a read must not trust them.
    ImageOptions options;
    options.sectorShift = 12;
    ImageLayout layout;
    std::vector<std::uint8_t> image = CompoundFileImage(DamageStreams(), options, &layout);
    const std::size_t size = DirectoryEntryOffset(layout, layout.streamEntries[1]) + kEntrySizeField;
    PutLittle32(image, size, 0);
    PutLittle32(image, size + 4, 0x40000000);
    CompoundFile file;
    ASSERT_TRUE(OpenCompoundFile(image.data(), image.size(), file));
    std::vector<std::uint8_t> read;
    EXPECT_FALSE(ReadStream(file, layout.streamEntries[1], read, SIZE_MAX));
    EXPECT_TRUE(read.empty());
}

TEST(CompoundFileDamage, StoragesNestedTooDeep)
{
    for (unsigned storages : {kMaxStorageDepth - 1, kMaxStorageDepth}) {
        ImageStream stream;
        for (unsigned i = 0; i < storages; ++i)
            stream.path.push_back(u"s");
        stream.path.push_back(u"leaf");
        stream.bytes = Pattern(10, 1);
        const std::vector<std::uint8_t> image = CompoundFileImage({stream});
        CompoundFile file;
        // The leaf lies one level below its innermost storage.
        EXPECT_EQ(OpenCompoundFile(image.data(), image.size(), file), storages + 1 <= kMaxStorageDepth) << storages;
    }
}

TEST(CompoundFileDamage, TruncatedImagesNeverReadPastTheirEnd)
{
    const std::vector<ImageStream> streams = DamageStreams();
    const std::vector<std::uint8_t> image = CompoundFileImage(streams);
    for (std::size_t cut = 0; cut <= image.size(); cut += 32) {
        // A copy of exactly `cut` bytes, so that a read past it is caught.
        const std::vector<std::uint8_t> part(image.begin(), image.begin() + cut);
        CompoundFile file;
        if (!OpenCompoundFile(part.data(), part.size(), file)) {
            EXPECT_LT(cut, image.size());
            continue;
        }
        for (const ImageStream& stream : streams) {
            std::vector<std::uint8_t> read;
            if (ReadPath(file, stream.path, read)) {
                EXPECT_EQ(read, stream.bytes) << cut;
            }
        }
    }
    CompoundFile file;
    EXPECT_FALSE(OpenCompoundFile(image.data(), 511, file));
    EXPECT_FALSE(OpenCompoundFile(nullptr, 0, file));
    // Everything up to the last sector of "big" is there, but not all of it.
    const std::vector<std::uint8_t> cutBig(image.begin(), image.end() - 512);
    ASSERT_TRUE(OpenCompoundFile(cutBig.data(), cutBig.size(), file));
    std::vector<std::uint8_t> read;
    EXPECT_TRUE(ReadPath(file, streams[0].path, read));
    EXPECT_FALSE(ReadPath(file, streams[1].path, read));
}

} // namespace
