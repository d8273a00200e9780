#include "builder/database_streams.h"
#include "builder/patch_removability.h"
#include "builder/transform_versions.h"
#include "payload/compound_file.h"
#include "support/compound_file_image.h"
#include "tools/msi_tables.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Versions = std::vector<std::wstring>;

void Put16(Bytes& out, unsigned value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

// A transform's Property stream: rows of a mask and 16-bit string ids.
Bytes Rows(const std::vector<std::vector<unsigned>>& rows)
{
    Bytes out;
    for (const std::vector<unsigned>& row : rows) {
        for (unsigned word : row)
            Put16(out, word);
    }
    return out;
}

// A pool of its own words: code page header, then (length, references) pairs.
Bytes PoolWords(const std::vector<unsigned>& words)
{
    Bytes out;
    for (unsigned word : words)
        Put16(out, word);
    return out;
}

std::vector<ImageStream> Transform(const std::u16string& storage, const Bytes& pool, const Bytes& data, const Bytes& rows)
{
    return {{{storage, table_stream_name("_StringPool")}, pool},
            {{storage, table_stream_name("_StringData")}, data},
            {{storage, table_stream_name("Property")}, rows}};
}

std::vector<ImageStream> Transform(const std::u16string& storage, const StringPool& pool, const Bytes& rows)
{
    return Transform(storage, pool_stream_bytes(pool), pool_data_bytes(pool), rows);
}

// Ids 1 ProductVersion, 2 3.2.40.0, 3 ProductName, 4 Other.
StringPool CommonPool()
{
    StringPool pool;
    for (const char* text : {"ProductVersion", "3.2.40.0", "ProductName", "Other"})
        pool_add(pool, text);
    return pool;
}

TransformVersionsResult VersionsOf(const std::vector<ImageStream>& streams, Versions& versions)
{
    const Bytes image = CompoundFileImage(streams);
    return ReadTransformVersions(image.data(), image.size(), versions);
}

Versions VersionsOf(const std::vector<ImageStream>& streams)
{
    Versions versions;
    EXPECT_EQ(VersionsOf(streams, versions), kTransformVersionsRead);
    return versions;
}

TEST(TableStreamName, PacksTwoNameCharactersIntoOneUnit)
{
    // The names the installer's own files use.
    EXPECT_EQ(TableStreamName("_StringPool"), (std::u16string{0x4840, 0x3f3f, 0x4577, 0x446c, 0x3e6a, 0x44b2, 0x482f}));
    EXPECT_EQ(TableStreamName("_StringData"), (std::u16string{0x4840, 0x3f3f, 0x4577, 0x446c, 0x3b6a, 0x45e4, 0x4824}));
    EXPECT_EQ(TableStreamName("_Tables"), (std::u16string{0x4840, 0x3f7f, 0x4164, 0x422f, 0x4836}));
    // A character outside the alphabet stands for itself and ends a pair.
    EXPECT_EQ(TableStreamName("A-B"), (std::u16string{0x4840, 0x480a, u'-', 0x480b}));
    EXPECT_EQ(TableStreamName("Property"), table_stream_name("Property"));
    EXPECT_EQ(TableStreamName(""), std::u16string(1, 0x4840));
}

TEST(TransformVersions, TransformsInTheOrderOfTheirStorageNames)
{
    std::vector<ImageStream> streams = {{{u"\005SummaryInformation"}, {1, 2}}, {{u"A", u"data"}, {3}}};
    for (const char16_t* name : {u"T2", u"T10", u"T1"}) {
        StringPool pool;
        const std::u16string storage = name;
        const std::uint16_t key = pool_add(pool, "ProductVersion");
        const std::uint16_t value = pool_add(pool, std::string(storage.begin() + 1, storage.end()) + ".0");
        for (ImageStream& stream : Transform(name, pool, property_update_row(key, value)))
            streams.push_back(stream);
    }
    // Code unit order, not the directory's shorter-first order.
    EXPECT_EQ(VersionsOf(streams), (Versions{L"1.0", L"10.0", L"2.0"}));
}

TEST(TransformVersions, PropertyRowsThatSetAProductVersion)
{
    struct Row {
        const char* what;
        Bytes rows;
        Versions versions;
    };
    const Row rows[] = {
        {"a changed value", Rows({{0x0002, 1, 2}}), {L"3.2.40.0"}},
        {"another property", Rows({{0x0002, 3, 2}}), {}},
        {"a deleted row", Rows({{0x0000, 1}}), {}},
        {"the key without a value", Rows({{0x0004, 1}}), {}},
        {"a whole row", Rows({{0x0201, 1, 2}}), {L"3.2.40.0"}},
        {"a whole row of one column", Rows({{0x0101, 1}}), {}},
        {"a whole row of three columns", Rows({{0x0301, 1, 4, 3}}), {L"Other"}},
        {"rows in turn", Rows({{0x0000, 3}, {0x0002, 1, 2}, {0x0002, 3, 4}, {0x0002, 1, 4}}), {L"3.2.40.0", L"Other"}},
        {"a value id the pool lacks", Rows({{0x0002, 1, 99}}), {L""}},
        {"a name id the pool lacks", Rows({{0x0002, 99, 2}}), {}},
        {"no rows", Bytes(), {}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(VersionsOf(Transform(u"T1", CommonPool(), row.rows)), row.versions) << row.what;

    // An odd byte after the last row is no row.
    Bytes trailing = Rows({{0x0002, 1, 2}});
    trailing.push_back(0x02);
    EXPECT_EQ(VersionsOf(Transform(u"T1", CommonPool(), trailing)), (Versions{L"3.2.40.0"}));
}

TEST(TransformVersions, ACutOffRowMeansCannotTell)
{
    for (const Bytes& rows : {Rows({{0x0002, 1}}), Rows({{0x0201, 1}}), Bytes{0x02, 0x00, 0x01}}) {
        Versions versions = {L"left over"};
        EXPECT_EQ(VersionsOf(Transform(u"T1", CommonPool(), rows), versions), kTransformsUnreadable);
        EXPECT_TRUE(versions.empty());
    }
}

TEST(TransformVersions, ThreeByteReferencesWhenThePoolSaysSo)
{
    Bytes pool = pool_stream_bytes(CommonPool());
    pool[3] |= 0x80;
    const Bytes rows = {0x02, 0x00, 1, 0, 0, 2, 0, 0};
    EXPECT_EQ(VersionsOf(Transform(u"T1", pool, pool_data_bytes(CommonPool()), rows)), (Versions{L"3.2.40.0"}));
}

TEST(TransformVersions, StringPoolEntries)
{
    const Bytes rows = Rows({{0x0002, 2, 3}});
    const std::string data = "ProductVersion3.2.40.0";
    const Bytes dataBytes(data.begin(), data.end());
    struct Row {
        const char* what;
        Bytes pool;
        Bytes data;
        Versions versions;
    };
    std::string longText(140000, 'x');
    Bytes longData(longText.begin(), longText.end());
    longData.insert(longData.end(), data.begin(), data.end());
    const Row cases[] = {
        {"an unused id keeps its number", PoolWords({1252, 0, 0, 0, 14, 1, 8, 1}), dataBytes, {L"3.2.40.0"}},
        // (0, references), then the 32-bit length as its own pair: 140000 is
        // 0x000222E0.
        {"a string of 64 KB or more", PoolWords({1252, 0, 0, 1, 0x22E0, 0x0002, 14, 1, 8, 1}), longData,
         {L"3.2.40.0"}},
        {"a long entry with no length after it", PoolWords({1252, 0, 0, 0, 14, 1, 8, 1, 0, 1}), dataBytes,
         {L"3.2.40.0"}},
        {"data cut short", PoolWords({1252, 0, 0, 0, 14, 1, 8, 1}), Bytes(dataBytes.begin(), dataBytes.end() - 3),
         {L"3.2.4"}},
        {"no data at all", PoolWords({1252, 0, 0, 0, 14, 1, 8, 1}), Bytes(), {}},
    };
    for (const Row& row : cases)
        EXPECT_EQ(VersionsOf(Transform(u"T1", row.pool, row.data, rows)), row.versions) << row.what;

    Versions versions;
    EXPECT_EQ(VersionsOf(Transform(u"T1", Bytes{0xE4, 0x04, 0}, dataBytes, rows), versions), kTransformsUnreadable);
}

TEST(TransformVersions, ValuesInThePoolsCodePage)
{
    for (unsigned codePage : {1252u, 0u, 28591u}) {
        StringPool pool;
        pool.codepage = codePage;
        const std::uint16_t key = pool_add(pool, "ProductVersion");
        const std::uint16_t value = pool_add(pool, "3.2\x80");
        const Versions versions = VersionsOf(Transform(u"T1", pool, property_update_row(key, value)));
        EXPECT_EQ(versions, (Versions{codePage == 28591 ? L"3.2\x0080" : L"3.2\x20ac"})) << codePage;
    }
}

TEST(TransformVersions, StoragesThatAreNoTransform)
{
    const Bytes rows = property_update_row(1, 2);
    std::vector<ImageStream> streams = Transform(u"T1", CommonPool(), rows);
    streams.erase(streams.begin() + 1);  // no _StringData
    const std::u16string pool = table_stream_name("_StringPool");
    const std::u16string data = table_stream_name("_StringData");
    const std::u16string property = table_stream_name("Property");
    // "Property" is a storage here, not a stream.
    streams.push_back({{u"T2", pool}, pool_stream_bytes(CommonPool())});
    streams.push_back({{u"T2", data}, pool_data_bytes(CommonPool())});
    streams.push_back({{u"T2", property, u"x"}, rows});
    // Tables at the root belong to no transform.
    streams.push_back({{pool}, pool_stream_bytes(CommonPool())});
    streams.push_back({{data}, pool_data_bytes(CommonPool())});
    streams.push_back({{property}, rows});
    EXPECT_EQ(VersionsOf(streams), Versions());
    EXPECT_EQ(VersionsOf({{{u"\005SummaryInformation"}, {1}}}), Versions());
}

TEST(TransformVersions, UnreadableFilesAndTablesMeanCannotTell)
{
    Versions versions = {L"left over"};
    const Bytes text = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'a', 't', 'c', 'h'};
    EXPECT_EQ(ReadTransformVersions(text.data(), text.size(), versions), kTransformsUnreadable);
    EXPECT_TRUE(versions.empty());

    // A good transform first, then one whose Property stream starts past the mini stream.
    std::vector<ImageStream> streams = Transform(u"T1", CommonPool(), property_update_row(1, 2));
    for (ImageStream& stream : Transform(u"T2", CommonPool(), property_update_row(1, 4)))
        streams.push_back(stream);
    ImageLayout layout;
    Bytes image = CompoundFileImage(streams, ImageOptions(), &layout);
    ASSERT_EQ(ReadTransformVersions(image.data(), image.size(), versions), kTransformVersionsRead);
    EXPECT_EQ(versions, (Versions{L"3.2.40.0", L"Other"}));
    PutLittle32(image, DirectoryEntryOffset(layout, layout.streamEntries[5]) + kEntryStartField, 5000);
    EXPECT_EQ(ReadTransformVersions(image.data(), image.size(), versions), kTransformsUnreadable);
    EXPECT_TRUE(versions.empty());
}

// What the reader holds is capped: one past a cap is "cannot tell", the
// cap itself reads. A value named by many rows counts once.
TEST(TransformVersions, CapsAtTheirEdges)
{
    for (std::size_t storages : {kMaxTransforms, kMaxTransforms + 1}) {
        std::vector<ImageStream> streams = Transform(u"T0", CommonPool(), property_update_row(1, 2));
        for (std::size_t i = 1; i < storages; ++i)
            streams.push_back({{u"S" + std::u16string(1, static_cast<char16_t>(0x100 + i)), u"x"}, {1}});
        Versions versions;
        EXPECT_EQ(VersionsOf(streams, versions),
                  storages > kMaxTransforms ? kTooManyTransforms : kTransformVersionsRead) << storages;
    }
    for (std::size_t count : {kMaxTransformVersions, kMaxTransformVersions + 1}) {
        StringPool pool;
        const std::uint16_t key = pool_add(pool, "ProductVersion");
        Bytes rows;
        for (std::size_t i = 0; i < 3 * count; ++i) {
            const Bytes row = property_update_row(key, pool_add(pool, "1.0.0." + std::to_string(i % count)));
            rows.insert(rows.end(), row.begin(), row.end());
        }
        Versions versions;
        EXPECT_EQ(VersionsOf(Transform(u"T1", pool, rows), versions),
                  count > kMaxTransformVersions ? kTooManyVersions : kTransformVersionsRead) << count;
        EXPECT_EQ(versions.size(), count > kMaxTransformVersions ? 0 : count);
    }
    for (std::size_t length : {kMaxVersionLength, kMaxVersionLength + 1}) {
        StringPool pool;
        const std::uint16_t key = pool_add(pool, "ProductVersion");
        const std::uint16_t value = pool_add(pool, "3." + std::string(length - 2, '0'));
        Versions versions;
        EXPECT_EQ(VersionsOf(Transform(u"T1", pool, property_update_row(key, value)), versions),
                  length > kMaxVersionLength ? kVersionTooLong : kTransformVersionsRead) << length;
    }
    // ProductVersion under two ids: no pool the installer writes.
    const std::string data = "ProductVersionProductVersion3.2.40.0";
    Versions versions;
    EXPECT_EQ(VersionsOf(Transform(u"T1", PoolWords({1252, 0, 14, 1, 14, 1, 8, 1}), Bytes(data.begin(), data.end()),
                                   Rows({{0x0002, 1, 3}})),
                         versions),
              kTransformsUnreadable);
}

// --- the patch's own MsiPatchMetadata table ------------------------------------

// Ids 1 AllowRemoval, 2 "1", 3 "0", 4 Norvale, 5 DisplayName.
StringPool MetadataPool()
{
    StringPool pool;
    for (const char* text : {"AllowRemoval", "1", "0", "Norvale", "DisplayName"})
        pool_add(pool, text);
    return pool;
}

// The patch's string pool and its MsiPatchMetadata table, at the root.
std::vector<ImageStream> PatchTables(const Bytes& pool, const Bytes& data, const Bytes& table)
{
    return {{{table_stream_name("_StringPool")}, pool},
            {{table_stream_name("_StringData")}, data},
            {{table_stream_name("MsiPatchMetadata")}, table}};
}

std::vector<ImageStream> PatchTables(const std::vector<std::vector<std::uint32_t>>& rows)
{
    return PatchTables(pool_stream_bytes(MetadataPool()), pool_data_bytes(MetadataPool()), table_stream_bytes(rows));
}

PatchRemovability RemovalOf(const std::vector<ImageStream>& streams)
{
    const Bytes image = CompoundFileImage(streams);
    CompoundFile file;
    EXPECT_TRUE(OpenCompoundFile(image.data(), image.size(), file));
    return ReadPatchRemovability(file);
}

TEST(PatchRemovability, OnlyTheInstallersOwnAllowRemovalOne)
{
    struct Row {
        const char* what;
        std::vector<std::vector<std::uint32_t>> rows;  // Company, Property, Value
        PatchRemovability removal;
    };
    const Row rows[] = {
        {"AllowRemoval 1 among Null Company rows and another company's",
         {{0, 5, 4}, {0, 1, 2}, {4, 5, 3}}, kPatchRemovable},
        {"AllowRemoval 0", {{0, 1, 3}}, kPatchNotRemovable},
        {"no AllowRemoval row", {{0, 5, 2}}, kPatchNotRemovable},
        {"another company's AllowRemoval 1", {{4, 1, 2}}, kPatchNotRemovable},
    };
    for (const Row& row : rows)
        EXPECT_EQ(RemovalOf(PatchTables(row.rows)), row.removal) << row.what;
    std::vector<ImageStream> noTable = PatchTables({{0, 1, 2}});
    noTable.pop_back();
    EXPECT_EQ(RemovalOf(noTable), kPatchNotRemovable) << "no MsiPatchMetadata table";
}

TEST(PatchRemovability, ThreeByteReferencesWhenThePoolSaysSo)
{
    // 65536 unused ids first: AllowRemoval is id 0x10001, "1" id 0x10002.
    std::vector<unsigned> words(2 + 2 * 0x10000, 0);
    words[0] = 1252;
    words[1] = 0x8000;
    words.insert(words.end(), {12, 1, 1, 1});
    const std::string data = "AllowRemoval1";
    EXPECT_EQ(RemovalOf(PatchTables(PoolWords(words), Bytes(data.begin(), data.end()),
                                    table_stream_bytes({{0, 0x10001, 0x10002}}, 3))),
              kPatchRemovable);
}

TEST(PatchRemovability, DamagedTablesMeanCannotTell)
{
    std::vector<ImageStream> streams = PatchTables({{0, 1, 2}});
    streams[2].bytes.pop_back();
    EXPECT_EQ(RemovalOf(streams), kRemovabilityUnknown) << "a table cut inside a row";

    streams = PatchTables({{0, 1, 2}});
    streams.erase(streams.begin());
    EXPECT_EQ(RemovalOf(streams), kRemovabilityUnknown) << "a table without a string pool";

    // "1" under two ids, as a pool the installer never writes.
    StringPool pool = MetadataPool();
    pool.strings.push_back("1");
    EXPECT_EQ(RemovalOf(PatchTables(pool_stream_bytes(pool), pool_data_bytes(pool), table_stream_bytes({{0, 1, 2}}))),
              kRemovabilityUnknown)
        << "a string twice";
}

} // namespace
