#include "builder/builder_options.h"
#include "builder/patch_checks.h"
#include "builder/patch_plan.h"
#include "shared/utf8_text.h"
#include "support/compound_file_image.h"
#include "tools/msi_tables.h"
#include "tools/summary_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::wstring>;

// --- build-wrapper.exe's command line --------------------------------------------

struct OptionsRow {
    std::vector<std::wstring> arguments;
    BuilderCommand command;
    std::wstring refusal;
    const wchar_t* output;
    const wchar_t* arch;
    bool checked;
    std::vector<std::wstring> patches;
    const wchar_t* firstSigningOption = L"";
};

TEST(BuilderOptions, OneCommandLineForBothBuilders)
{
    const OptionsRow rows[] = {
        {{L"-o", L"C:\\out\\fix.exe", L"a.msp", L"3=b.msp"}, kBuilderBuild, L"", L"C:\\out\\fix.exe", L"x64", true,
         {L"a.msp", L"3=b.msp"}},
        {{L"--unchecked", L"a.msp", L"--arch", L"x86", L"-o", L"o.exe"}, kBuilderBuild, L"", L"o.exe", L"x86", false,
         {L"a.msp"}},
        {{L"-o", L"first.exe", L"-o", L"last.exe"}, kBuilderBuild, L"", L"last.exe", L"x64", true, {}},
        {{L"a.msp"}, kBuilderUsage, L"", L"", L"x64", true, {L"a.msp"}},
        {{L"-o"}, kBuilderUsage, L"", L"", L"x64", true, {}},
        {{L"-o", L"o.exe", L"--arch"}, kBuilderUsage, L"", L"o.exe", L"x64", true, {}},
        {{L"-o", L"o.exe", L"--help", L"a.msp"}, kBuilderUsage, L"", L"o.exe", L"x64", true, {}},
        {{L"-h"}, kBuilderUsage, L"", L"", L"x64", true, {}},
        {{L"-o", L"o.exe", L"--version", L"-h"}, kBuilderVersion, L"", L"o.exe", L"x64", true, {}},
        {{L"-o", L"o.exe", L"--arch", L"arm64"}, kBuilderRefuse, L"unknown architecture 'arm64' (x64 or x86)",
         L"o.exe", L"arm64", true, {}},
        // Which signing option came first, for build-wrapper.exe to name it in its refusal.
        {{L"-o", L"o.exe", L"--sign", L"c.pfx", L"--password-file", L"p"}, kBuilderBuild, L"", L"o.exe", L"x64",
         true, {}, L"--sign"},
        {{L"--password-file", L"p", L"-o", L"o.exe", L"--sign", L"c.pfx"}, kBuilderBuild, L"", L"o.exe", L"x64",
         true, {}, L"--password-file"},
        {{L"-o", L"o.exe", L"--sign"}, kBuilderUsage, L"", L"o.exe", L"x64", true, {}},
    };
    for (const OptionsRow& row : rows) {
        BuilderOptions options;
        std::wstring refusal;
        const std::wstring label = row.arguments[0] + L" " + std::to_wstring(row.arguments.size());
        EXPECT_EQ(ParseBuilderOptions(row.arguments, options, refusal), row.command) << label;
        EXPECT_EQ(refusal, row.refusal) << label;
        EXPECT_EQ(options.output, row.output) << label;
        EXPECT_EQ(options.arch, row.arch) << label;
        EXPECT_EQ(options.checked, row.checked) << label;
        EXPECT_EQ(options.patches, row.patches) << label;
        EXPECT_EQ(options.firstSigningOption, row.firstSigningOption) << label;
    }
}

// --- the PATCH arguments ---------------------------------------------------------

struct ArgumentsRow {
    std::vector<std::wstring> arguments;
    std::wstring refusal;  // empty: accepted
    std::vector<int> slots;  // the slot of each argument, 0 for the next free one
};

TEST(PatchArguments, SlotsAndTheirRefusals)
{
    const std::vector<std::wstring> sixteen(16, L"a.msp");
    const ArgumentsRow rows[] = {
        {{L"a.msp", L"3=b.msp", L"c.msp"}, L"", {0, 3, 0}},
        {{L"15=a.msp", L"007=b.msp"}, L"", {15, 7}},
        {{L"x=a.msp", L"=b.msp", L"1a=c.msp", L"C:\\p\\4=d.msp"}, L"", {0, 0, 0, 0}},
        {{L"2="}, L"", {2}},
        {{L"0=a.msp"}, L"slot 0 is outside 1 to 15 in '0=a.msp'", {}},
        {{L"00=a.msp"}, L"slot 0 is outside 1 to 15 in '00=a.msp'", {}},
        {{L"16=a.msp"}, L"slot 16 is outside 1 to 15 in '16=a.msp'", {}},
        {{L"0099999999999999999999=a.msp"},
         L"slot 99999999999999999999 is outside 1 to 15 in '0099999999999999999999=a.msp'",
         {}},
        {{L"3=a.msp", L"b.msp", L"03=c.msp"}, L"slot 3 is given twice", {}},
        {sixteen, L"16 patches given; a wrapper carries at most 15", {}},
    };
    for (const ArgumentsRow& row : rows) {
        std::vector<PatchArgument> patches;
        std::wstring refusal;
        const std::wstring label = row.arguments[0];
        EXPECT_EQ(ParsePatchArguments(row.arguments, patches, refusal), row.refusal.empty()) << label;
        EXPECT_EQ(refusal, row.refusal) << label;
        if (!row.refusal.empty())
            continue;
        ASSERT_EQ(patches.size(), row.slots.size()) << label;
        for (size_t i = 0; i < patches.size(); ++i)
            EXPECT_EQ(patches[i].slot, row.slots[i]) << label << " " << i;
    }
    std::vector<PatchArgument> patches;
    std::wstring refusal;
    ASSERT_TRUE(ParsePatchArguments({L"2=C:\\a=b.msp"}, patches, refusal));
    EXPECT_EQ(patches[0].file, L"C:\\a=b.msp");
}

TEST(PatchArguments, NamedSlotsFirstThenTheFreeOnesInOrder)
{
    std::vector<PatchArgument> patches;
    std::wstring refusal;
    ASSERT_TRUE(ParsePatchArguments({L"a", L"1=b", L"c", L"3=d", L"e"}, patches, refusal));
    std::vector<std::pair<int, size_t>> placed;
    for (const PlacedPatch& patch : PlaceSlots(patches))
        placed.push_back({patch.slot, patch.argument});
    EXPECT_EQ(placed, (std::vector<std::pair<int, size_t>>{{1, 1}, {2, 0}, {3, 3}, {4, 2}, {5, 4}}));

    std::vector<std::wstring> fifteen(14, L"f");
    fifteen.push_back(L"15=g");
    ASSERT_TRUE(ParsePatchArguments(fifteen, patches, refusal));
    const std::vector<PlacedPatch> full = PlaceSlots(patches);
    ASSERT_EQ(full.size(), 15u);
    EXPECT_EQ(full.back().slot, 15);
    EXPECT_EQ(full.back().argument, 14u);
    EXPECT_EQ(full[13].argument, 13u);
}

TEST(PatchFile, RefusalsInTheOrderTheyAreChecked)
{
    PatchFileFacts good;
    good.exists = good.regular = good.readable = good.signature = true;
    good.size = 4096;
    good.fullPath = L"/srv/p.msp";
    EXPECT_EQ(PatchFileRefusal(L"p.msp", good), L"");

    PatchFileFacts facts = good;
    facts.written = kWrittenOutput;
    EXPECT_EQ(PatchFileRefusal(L"p.msp", facts), L"patch file 'p.msp' is the output file too");
    facts.signature = false;
    EXPECT_EQ(PatchFileRefusal(L"p.msp", facts),
              L"'p.msp' is not a Windows Installer patch (no compound-file signature)");
    facts.readable = false;
    EXPECT_EQ(PatchFileRefusal(L"p.msp", facts), L"patch file 'p.msp' cannot be read");
    facts.size = 0;
    EXPECT_EQ(PatchFileRefusal(L"p.msp", facts), L"patch file 'p.msp' is empty");
    facts.regular = false;
    EXPECT_EQ(PatchFileRefusal(L"p.msp", facts), L"patch file 'p.msp' is not a regular file");
    facts.exists = false;
    EXPECT_EQ(PatchFileRefusal(L"p.msp", facts), L"patch file 'p.msp' does not exist");

    facts = good;
    facts.fullPath = L"/srv/a\nslot 2: b.msp";
    EXPECT_EQ(PatchFileRefusal(L"x", facts), L"patch file 'x' has a line break in its name");
}

// --- the checks on patch images ----------------------------------------------------

constexpr std::uint8_t kPatchClass[16] = {0x86, 0x10, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00,
                                         0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

struct PatchSpec {
    bool hasKeywords = true;
    std::string keywords = "3.2.40.0;3.2.10.0,3.2.20.0";
    bool hasTemplate = true;
    std::string templateValue = "{A};{B}";
    std::vector<std::string> movesTo = {"3.2.40.0"};  // one transform each
    bool packageClass = true;
    bool summary = true;
    std::string revision;  // none when empty
    std::size_t cabinetBytes = 0;  // a stream that stands for the patch's files
    std::string allowRemoval = "1";  // the one row of its MsiPatchMetadata table
    bool metadataCut = false;  // that table's stream a byte short
};

Bytes ImageOf(const PatchSpec& patch)
{
    std::vector<ImageStream> streams;
    if (patch.summary) {
        std::vector<SummaryValue> values = {summary_number(1, 1252)};
        if (patch.hasKeywords)
            values.push_back(summary_text(5, patch.keywords));
        if (patch.hasTemplate)
            values.push_back(summary_text(7, patch.templateValue));
        if (!patch.revision.empty())
            values.push_back(summary_text(9, patch.revision));
        streams.push_back({{u"\005SummaryInformation"}, summary_stream_bytes(values)});
    }
    for (size_t i = 0; i < patch.movesTo.size(); ++i) {
        StringPool pool;
        const std::uint16_t key = pool_add(pool, "ProductVersion");
        const std::uint16_t value = pool_add(pool, patch.movesTo[i]);
        const std::u16string storage = u"T" + std::u16string(1, static_cast<char16_t>(u'1' + i));
        streams.push_back({{storage, table_stream_name("_StringPool")}, pool_stream_bytes(pool)});
        streams.push_back({{storage, table_stream_name("_StringData")}, pool_data_bytes(pool)});
        streams.push_back({{storage, table_stream_name("Property")}, property_update_row(key, value)});
    }
    StringPool pool;
    const std::uint16_t allowRemoval = pool_add(pool, "AllowRemoval");
    Bytes metadata = table_stream_bytes({{0, allowRemoval, pool_add(pool, patch.allowRemoval)}});
    metadata.resize(metadata.size() - (patch.metadataCut ? 1 : 0));
    streams.push_back({{table_stream_name("_StringPool")}, pool_stream_bytes(pool)});
    streams.push_back({{table_stream_name("_StringData")}, pool_data_bytes(pool)});
    streams.push_back({{table_stream_name("MsiPatchMetadata")}, metadata});
    if (patch.cabinetBytes != 0)
        streams.push_back({{u"PatchFiles"}, Bytes(patch.cabinetBytes, 0x5A)});
    ImageOptions options;
    if (patch.packageClass)
        std::copy(kPatchClass, kPatchClass + 16, options.rootClassId);
    return CompoundFileImage(streams, options);
}

BuildReport Checked(const Bytes& image, int slot = 1)
{
    BuildReport report;
    CheckPatch(slot, L"/p/fix.msp", MemorySource(image.data(), image.size()), report);
    return report;
}

struct CheckRow {
    const char* what;
    PatchSpec patch;
    Lines slotMap;  // after "slot 1: /p/fix.msp"
    Lines warnings;  // after "slot 1 (/p/fix.msp): "
    Lines refusals;  // likewise
};

PatchSpec With(void (*change)(PatchSpec&))
{
    PatchSpec patch;
    change(patch);
    return patch;
}

const std::wstring kSounds = L"the wrapper would apply the patch again on every run, and ";
const std::wstring kRollback = L"a rollback would look for the patched products at the wrong version";

TEST(PatchChecks, ReadsEachPatchAsTheWrapperDoes)
{
    const CheckRow rows[] = {
        {"a sound patch", PatchSpec(),
         {L"  products: {A}, {B}", L"  targets:  3.2.10.0, 3.2.20.0",
          L"  upgrade:  3.2.40.0; the transforms move the product to 3.2.40.0"},
         {}, {}},
        {"no Keywords", With([](PatchSpec& p) { p.hasKeywords = false; }),
         {L"  products: {A}, {B}", L"  keywords: absent"}, {},
         {L"it has no Keywords; the wrapper needs \"upgradeVersion;targetVersion,...\" there"}},
        {"Keywords without ';'", With([](PatchSpec& p) { p.keywords = "3.2.40.0"; }),
         {L"  products: {A}, {B}", L"  keywords: 3.2.40.0"}, {},
         {L"its Keywords \"3.2.40.0\" have no ';'; the wrapper needs \"upgradeVersion;targetVersion,...\""}},
        {"empty Keywords", With([](PatchSpec& p) { p.keywords = ""; }),
         {L"  products: {A}, {B}", L"  keywords: "}, {},
         {L"its Keywords \"\" have no ';'; the wrapper needs \"upgradeVersion;targetVersion,...\""}},
        {"Keywords beginning with ';'", With([](PatchSpec& p) { p.keywords = ";3.2.10.0"; }),
         {L"  products: {A}, {B}", L"  keywords: ;3.2.10.0"}, {},
         {L"its Keywords \";3.2.10.0\" begin with ';', so there is no upgrade version"}},
        {"no Template", With([](PatchSpec& p) { p.hasTemplate = false; }),
         {L"  products: none", L"  targets:  3.2.10.0, 3.2.20.0",
          L"  upgrade:  3.2.40.0; the transforms move the product to 3.2.40.0"},
         {}, {L"its Template is empty or absent, so the wrapper would find no product to patch"}},
        {"empty Template", With([](PatchSpec& p) { p.templateValue = ""; }),
         {L"  products: none", L"  targets:  3.2.10.0, 3.2.20.0",
          L"  upgrade:  3.2.40.0; the transforms move the product to 3.2.40.0"},
         {}, {L"its Template is empty or absent, so the wrapper would find no product to patch"}},
        {"Template beginning with ';'", With([](PatchSpec& p) { p.templateValue = ";{A}"; }),
         {L"  products: none", L"  targets:  3.2.10.0, 3.2.20.0",
          L"  upgrade:  3.2.40.0; the transforms move the product to 3.2.40.0"},
         {}, {L"its Template \";{A}\" begins with ';', so the wrapper would find no product to patch"}},
        {"both refused", With([](PatchSpec& p) { p.keywords = "x"; p.templateValue = ""; }),
         {L"  products: none", L"  keywords: x"}, {},
         {L"its Keywords \"x\" have no ';'; the wrapper needs \"upgradeVersion;targetVersion,...\"",
          L"its Template is empty or absent, so the wrapper would find no product to patch"}},
        {"Template stopping at an empty entry", With([](PatchSpec& p) { p.templateValue = "{A};;{B};"; }),
         {L"  products: {A}", L"  targets:  3.2.10.0, 3.2.20.0",
          L"  upgrade:  3.2.40.0; the transforms move the product to 3.2.40.0"},
         {}, {}},
        {"three-part versions",
         With([](PatchSpec& p) { p.keywords = "3.2.40;3.2.10.0,3.2.20"; p.movesTo = {"3.2.40"}; }),
         {L"  products: {A}, {B}", L"  targets:  3.2.10.0, 3.2.20 (reads as 3.2.0.0)",
          L"  upgrade:  3.2.40 (reads as 3.2.0.0); the transforms move the product to 3.2.40"},
         {L"target version \"3.2.20\" has fewer than four parts; the wrapper reads it as 3.2.0.0",
          L"upgrade version \"3.2.40\" has fewer than four parts; the wrapper reads it as 3.2.0.0"},
         {}},
        {"no target version after ';'", With([](PatchSpec& p) { p.keywords = "3.2.40.0;"; }),
         {L"  products: {A}, {B}", L"  targets:   (reads as 0.0.0.0)",
          L"  upgrade:  3.2.40.0; the transforms move the product to 3.2.40.0"},
         {L"target version \"\" has fewer than four parts; the wrapper reads it as 0.0.0.0"}, {}},
        {"upgrade version above the transforms'", With([](PatchSpec& p) { p.keywords = "3.2.50.0;3.2.10.0"; }),
         {L"  products: {A}, {B}", L"  targets:  3.2.10.0",
          L"  upgrade:  3.2.50.0; the transforms move the product to 3.2.40.0"},
         {L"the Keywords' upgrade version 3.2.50.0 differs from 3.2.40.0, the version the patch's transforms "
          L"move the product to; " + kSounds + kRollback},
         {}},
        {"upgrade version below the transforms'", With([](PatchSpec& p) { p.keywords = "3.2.30.0;3.2.10.0"; }),
         {L"  products: {A}, {B}", L"  targets:  3.2.10.0",
          L"  upgrade:  3.2.30.0; the transforms move the product to 3.2.40.0"},
         {L"the Keywords' upgrade version 3.2.30.0 differs from 3.2.40.0, the version the patch's transforms "
          L"move the product to; " + kRollback},
         {}},
        {"the same version written otherwise", With([](PatchSpec& p) { p.movesTo = {"3,2,40,0", "3.2.40.0"}; }),
         {L"  products: {A}, {B}", L"  targets:  3.2.10.0, 3.2.20.0",
          L"  upgrade:  3.2.40.0; the transforms move the product to 3,2,40,0, 3.2.40.0"},
         {}, {}},
        {"transforms to two versions, each named once",
         With([](PatchSpec& p) { p.movesTo = {"3.2.40.0", "3.2.41.0", "3.2.41.0"}; }),
         {L"  products: {A}, {B}", L"  targets:  3.2.10.0, 3.2.20.0",
          L"  upgrade:  3.2.40.0; the transforms move the product to 3.2.40.0, 3.2.41.0"},
         {L"the Keywords' upgrade version 3.2.40.0 differs from 3.2.41.0, the version the patch's transforms "
          L"move the product to; " + kRollback},
         {}},
        {"transforms to more versions than the checks hold", With([](PatchSpec& p) {
             for (int i = 41; i < 57; ++i)
                 p.movesTo.push_back("3.2." + std::to_string(i) + ".0");
         }),
         {L"  products: {A}, {B}", L"  targets:  3.2.10.0, 3.2.20.0",
          L"  upgrade:  3.2.40.0; the transforms' version: cannot tell (they set more than 16 versions)"},
         {}, {}},
        {"transforms that keep the version", With([](PatchSpec& p) { p.movesTo.clear(); }),
         {L"  products: {A}, {B}", L"  targets:  3.2.10.0, 3.2.20.0",
          L"  upgrade:  3.2.40.0; the transforms leave the product's version as it is"},
         {L"the patch's transforms do not change the product's version; " + kSounds + kRollback}, {}},
        {"AllowRemoval 0", With([](PatchSpec& p) { p.allowRemoval = "0"; }),
         {L"  products: {A}, {B}", L"  targets:  3.2.10.0, 3.2.20.0",
          L"  upgrade:  3.2.40.0; the transforms move the product to 3.2.40.0"},
         {L"the patch cannot be removed once applied: it has no MsiPatchMetadata table with AllowRemoval 1; only "
          L"uninstalling the product removes it"},
         {}},
        {"an MsiPatchMetadata table cut short", With([](PatchSpec& p) { p.metadataCut = true; }),
         {L"  products: {A}, {B}", L"  targets:  3.2.10.0, 3.2.20.0",
          L"  upgrade:  3.2.40.0; the transforms move the product to 3.2.40.0"},
         {L"cannot tell whether the patch can be removed once applied: its MsiPatchMetadata table cannot be read"},
         {}},
        {"no summary", With([](PatchSpec& p) { p.summary = false; }), {L"  summary: unreadable"}, {},
         {L"its summary information cannot be read; it is not a Windows Installer patch"}},
        {"no installer class", With([](PatchSpec& p) { p.packageClass = false; }),
         {L"  summary: no installer package"}, {},
         {L"it is no Windows Installer package (its root storage has no installer class), so the wrapper "
          L"cannot read it"}},
    };
    const std::wstring where = L"slot 1 (/p/fix.msp): ";
    for (const CheckRow& row : rows) {
        const BuildReport report = Checked(ImageOf(row.patch));
        Lines slotMap = {L"slot 1: /p/fix.msp"};
        slotMap.insert(slotMap.end(), row.slotMap.begin(), row.slotMap.end());
        Lines warnings, expected, refusals;
        for (const BuildWarning& warning : report.warnings)
            warnings.push_back(std::to_wstring(warning.slot) + L" " + warning.where + L": " + warning.text);
        for (const std::wstring& text : row.warnings)
            expected.push_back(L"1 " + where + text);
        for (const std::wstring& text : row.refusals)
            refusals.push_back(where + text);
        EXPECT_EQ(report.slotMap, slotMap) << row.what;
        EXPECT_EQ(warnings, expected) << row.what;
        EXPECT_EQ(report.refusals, refusals) << row.what;
    }
}

TEST(PatchChecks, AnUnreadableTransformMeansCannotTell)
{
    PatchSpec patch;
    patch.keywords = "3.2.50.0;3.2.10.0";
    Bytes image = ImageOf(patch);
    // The Property stream starts past the mini stream; the summary still reads.
    const std::u16string property = table_stream_name("Property");
    std::vector<std::uint8_t> name;
    for (char16_t unit : property) {
        name.push_back(static_cast<std::uint8_t>(unit));
        name.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    const auto found = std::search(image.begin(), image.end(), name.begin(), name.end());
    ASSERT_NE(found, image.end());
    PutLittle32(image, static_cast<size_t>(found - image.begin()) + kEntryStartField, 5000);
    const BuildReport report = Checked(image);
    EXPECT_EQ(report.slotMap.back(), L"  upgrade:  3.2.50.0; the transforms' version: cannot tell");
    EXPECT_TRUE(report.warnings.empty());
    EXPECT_TRUE(report.refusals.empty());
}

// A source that counts what the checks read of it.
struct CountedSource {
    ByteSource bytes;
    std::uint64_t read = 0;
};

bool ReadCounted(void* context, std::uint64_t offset, std::uint8_t* out, std::size_t size)
{
    CountedSource& source = *static_cast<CountedSource*>(context);
    source.read += size;
    return source.bytes.read(source.bytes.context, offset, out, size);
}

// The checks read the tables, the directory, the summary and the
// transforms: a few kilobytes, however large the patch's files are.
TEST(PatchChecks, ReadOnlyWhatTheyNeed)
{
    PatchSpec patch;
    patch.cabinetBytes = 8 << 20;
    const Bytes image = ImageOf(patch);
    CountedSource counted{MemorySource(image.data(), image.size())};
    ByteSource source;
    source.read = ReadCounted;
    source.context = &counted;
    source.size = image.size();
    BuildReport report;
    CheckPatch(1, L"/p/fix.msp", source, report);
    EXPECT_TRUE(report.refusals.empty());
    EXPECT_EQ(report.slotMap.back(), L"  upgrade:  3.2.40.0; the transforms move the product to 3.2.40.0");
    EXPECT_LT(counted.read, 64u << 10) << "of " << image.size();
}

TEST(PatchChecks, FilesThatAreNoCompoundFile)
{
    for (const Bytes& bytes : {Bytes(), Bytes{0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1, 0, 0}}) {
        BuildReport report;
        CheckPatch(4, L"C:\\p q\\ü.msp", MemorySource(bytes.data(), bytes.size()), report);
        EXPECT_EQ(report.slotMap, (Lines{L"slot 4: C:\\p q\\ü.msp", L"  summary: unreadable"}));
        EXPECT_EQ(report.refusals, (Lines{L"slot 4 (C:\\p q\\ü.msp): its summary information cannot be read; it is "
                                          L"not a Windows Installer patch"}));
    }
}

// What a manifest says of a checked slot: the patch code is the revision
// number's first GUID, or none.
TEST(PatchChecks, WhatTheManifestTakesFromTheChecks)
{
    const char* const code = "{0B7A1C2D-3E4F-4A5B-8C6D-7E8F9A0B1C2D}";
    const std::pair<std::string, std::wstring> revisions[] = {
        {std::string(code) + "{6F1C0000-0000-4000-8000-000000000000}", WideFromUtf8(code)},
        {std::string(code).substr(0, 37), L""},
        {"{0B7A1C2D-3E4F-4A5B-8C6D+7E8F9A0B1C2D}", L""},
        {"{0B7A1C2D-3E4F-4A5B-8C6D-7E8F9A0B1C2G}", L""},
    };
    for (const auto& revision : revisions) {
        PatchSpec patch;
        patch.revision = revision.first;
        const BuildReport report = Checked(ImageOf(patch), 3);
        ASSERT_EQ(report.checkedSlots.size(), 1u);
        const CheckedSlot& slot = report.checkedSlots[0];
        EXPECT_EQ(slot.patchCode, revision.second) << revision.first;
        EXPECT_EQ(slot.slot, 3);
        EXPECT_EQ(slot.products, (Lines{L"{A}", L"{B}"}));
        EXPECT_EQ(slot.upgradeVersion, L"3.2.40.0");
        EXPECT_EQ(slot.targetVersions, (Lines{L"3.2.10.0", L"3.2.20.0"}));
        EXPECT_EQ(slot.removal, kPatchRemovable);
    }
}

TEST(PatchChecks, WhatTheBuildersPrint)
{
    // Every warning first, then every refusal, whatever their slots.
    PatchSpec refused, warned;
    refused.keywords = "x";
    warned.keywords = "3.2.40.0;3.2.10";
    BuildReport report;
    const Bytes first = ImageOf(refused);
    const Bytes third = ImageOf(warned);
    CheckPatch(1, L"a", MemorySource(first.data(), first.size()), report);
    AddUncheckedPatch(2, L"b", report);
    CheckPatch(3, L"c", MemorySource(third.data(), third.size()), report);
    EXPECT_EQ(ProblemsText(report), L"build-wrapper: warning: slot 3 (c): target version \"3.2.10\" has fewer than "
                                    L"four parts; the wrapper reads it as 3.2.0.0\n"
                                    L"build-wrapper: refused: slot 1 (a): its Keywords \"x\" have no ';'; the "
                                    L"wrapper needs \"upgradeVersion;targetVersion,...\"\n");
    EXPECT_EQ(SlotMapText(report), L"slot 1: a\n  products: {A}, {B}\n  keywords: x\n"
                                   L"slot 2: b\n"
                                   L"slot 3: c\n  products: {A}, {B}\n  targets:  3.2.10 (reads as 3.2.0.0)\n"
                                   L"  upgrade:  3.2.40.0; the transforms move the product to 3.2.40.0\n");
}

// --- UTF-8 -----------------------------------------------------------------------

TEST(Utf8Text, RoundTripsTextAndAnyBytes)
{
    EXPECT_EQ(Utf8FromWide(L"a\x00fc\x20ac"), "a\xc3\xbc\xe2\x82\xac");
    EXPECT_EQ(WideFromUtf8("a\xc3\xbc\xe2\x82\xac"), L"a\x00fc\x20ac");
    const std::wstring clef = WideFromUtf8("\xf0\x9d\x84\x9e");
    EXPECT_EQ(Utf8FromWide(clef), "\xf0\x9d\x84\x9e");
    EXPECT_EQ(clef.size(), sizeof(wchar_t) == 2 ? 2u : 1u);
    // Bytes that are no UTF-8 (a Latin-1 name, a cut sequence, an
    // overlong form, an encoded surrogate) come back as they were.
    for (const std::string bytes : {"caf\xe9", "\xe2\x82", "\xc0\xaf", "\xed\xa0\x80", "\xff"}) {
        const std::wstring wide = WideFromUtf8(bytes);
        EXPECT_EQ(wide.size(), bytes.size());
        EXPECT_EQ(Utf8FromWide(wide), bytes);
    }
    EXPECT_EQ(Utf8FromWide(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xef\xbf\xbd");
}

} // namespace
