#include "builder/build_wrapper.h"
#include "builder/patch_plan.h"
#include "builder/pe_checksum.h"
#include "builder/pe_image.h"
#include "builder/resource_tree.h"
#include "builder/sha256.h"
#include "builder/wrapper_layout.h"
#include "builder/wrapper_writer.h"
#include "shared/little_endian.h"
#include "shared/utf8_text.h"
#include "support/file_times.h"
#include "support/patch_image.h"
#include "support/stub_image.h"

#include "build_steps_fake.h"
#include "builder_host_fake.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <new>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// The checksum as a second, plain reading of the format: 16-bit words,
// the carry folded in after each, the checksum field skipped.
std::uint32_t ReferenceChecksum(const Bytes& file, std::size_t checksumOffset)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < file.size(); i += 2) {
        if (i == checksumOffset || i == checksumOffset + 2)
            continue;
        sum += file[i] | (i + 1 < file.size() ? file[i + 1] << 8 : 0);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return sum + static_cast<std::uint32_t>(file.size());
}

Bytes Pattern(std::size_t size, std::uint8_t seed)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
    return bytes;
}

// The names of one resource directory, in the order stored.
std::vector<std::string> StoredNames(const std::uint8_t* tree, std::uint32_t directory)
{
    std::vector<std::string> names;
    const std::size_t count = std::size_t{Get16(tree + directory + 12)} + Get16(tree + directory + 14);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t id = Get32(tree + directory + 16 + i * 8);
        if ((id & 0x80000000u) == 0) {
            names.push_back("#" + std::to_string(id));
            continue;
        }
        const std::uint8_t* name = tree + (id & 0x7FFFFFFFu);
        std::string text;
        for (std::uint16_t c = 0; c < Get16(name); ++c)
            text += static_cast<char>(Get16(name + 2 + c * 2));
        names.push_back(text);
    }
    return names;
}

std::uint32_t Subdirectory(const std::uint8_t* tree, std::uint32_t directory, std::size_t index)
{
    return Get32(tree + directory + 16 + index * 8 + 4) & 0x7FFFFFFFu;
}

std::wstring HashOf(const std::uint8_t* bytes, std::size_t size, Sha256Engine engine = kSha256Portable)
{
    Sha256 hash;
    hash.engine = engine;
    AddToSha256(hash, bytes, size);
    return FinishSha256(hash);
}

FileStamp StampOf(const std::string& file)
{
    FileStamp stamp;
    CloseFile(OpenPatchForReading(WideFromUtf8(file), stamp));
    return stamp;
}

// What the writer says when it writes the wrapper of `layout` into the
// scratch file `out`.
std::wstring WriteInto(const std::string& out, const WrapperLayout& layout, const std::vector<PatchCopy>& copies,
                       WrittenHashes* hashes = nullptr)
{
    FileProblem problem = kFileFine;
    const FileHandle file = CreateScratchFile(WideFromUtf8(out), problem);
    EXPECT_EQ(problem, kFileFine);
    const std::wstring refusal = WriteWrapper(file, WideFromUtf8(out), layout, copies, hashes);
    RemoveScratchFile(file, WideFromUtf8(out));
    return refusal;
}

struct Built {
    Bytes file;
    WrapperLayout layout;
};

// The wrapper of `stub` with `patches` (slot, bytes), written through the
// writer into a file and read back.
Built Build(const Bytes& stub, const std::vector<std::pair<int, Bytes>>& patches)
{
    Built built;
    std::vector<PatchSlot> slots;
    std::vector<PatchCopy> copies;
    const std::string folder = testing::TempDir();
    for (const auto& patch : patches) {
        const std::string name = folder + "writer-slot" + std::to_string(patch.first) + ".msp";
        std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(patch.second.data()),
                                                     static_cast<std::streamsize>(patch.second.size()));
        slots.push_back({patch.first, patch.second.size()});
        copies.push_back({WideFromUtf8(name), StampOf(name)});
    }
    std::wstring problem;
    EXPECT_EQ(PlanWrapper(stub.data(), stub.size(), slots, built.layout, problem), kPlanned) << Utf8FromWide(problem);
    // Written again with the hashes, whose checksum is summed before the
    // head is written: the same bytes, hashed as read back.
    WrittenHashes hashes;
    hashes.wrapperWanted = true;
    for (WrittenHashes* wanted : {static_cast<WrittenHashes*>(nullptr), &hashes}) {
        const std::string out = folder + "writer-out.exe";
        FileProblem made = kFileFine;
        const FileHandle file = CreateScratchFile(WideFromUtf8(out), made);
        EXPECT_EQ(WriteWrapper(file, WideFromUtf8(out), built.layout, copies, wanted), L"");
        CloseFile(file);
        std::ifstream in(out, std::ios::binary);
        const Bytes written{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        EXPECT_TRUE(wanted == nullptr || written == built.file);
        built.file = written;
        std::remove(out.c_str());
    }
    EXPECT_EQ(FinishSha256(hashes.wrapper), HashOf(built.file.data(), built.file.size()));
    for (std::size_t i = 0; i < patches.size(); ++i)
        EXPECT_EQ(FinishSha256(hashes.patches[i]), HashOf(patches[i].second.data(), patches[i].second.size()));
    return built;
}

// --- the wrapper ---------------------------------------------------------------------

class WrapperWriter : public testing::TestWithParam<bool> {};

TEST_P(WrapperWriter, KeepsTheStubAndAddsTheTreeAtTheEnd)
{
    StubOptions options;
    options.x86 = GetParam();
    const Bytes stub = StubImage(options);
    const Bytes slot1 = Pattern(1001, 1), slot12 = Pattern(7, 2), slot2 = Pattern(1, 3);
    const Built built = Build(stub, {{1, slot1}, {12, slot12}, {2, slot2}});
    const Bytes& file = built.file;
    ASSERT_EQ(file.size(), built.layout.fileSize);
    ASSERT_EQ(file.size() % 0x200, 0u) << "the file alignment is kept";

    // Nothing of the stub moves: its sections' bytes are where they were.
    EXPECT_TRUE(std::equal(stub.begin() + 0x200, stub.end(), file.begin() + 0x200));
    const std::size_t optional = 0x40 + 24;
    const std::size_t table = optional + (options.x86 ? 0xE0 : 0xF0);
    const std::size_t directories = optional + (options.x86 ? 96 : 112);
    EXPECT_EQ(Get16(file.data() + 0x40 + 6), 4) << "one more section";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data() + table + 40), 8), ".stubres");
    EXPECT_EQ(Get32(file.data() + table + 40 + 36), 0xC0000040u) << "the stub's resources as linked";
    const std::uint8_t* added = file.data() + table + 3 * 40;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(added)), ".rsrc");
    EXPECT_EQ(Get32(added + 36), 0x40000040u) << "initialized data, read-only";
    const std::uint32_t rva = Get32(added + 12), rawSize = Get32(added + 16), raw = Get32(added + 20);
    EXPECT_EQ(rva, 0x4000u) << "after the relocations, at the section alignment";
    EXPECT_EQ(raw, stub.size());
    EXPECT_EQ(raw + rawSize, file.size());
    EXPECT_EQ(Get32(file.data() + directories + 16), rva) << "the resource directory";
    EXPECT_EQ(Get32(file.data() + directories + 20), Get32(added + 8));
    EXPECT_EQ(Get32(file.data() + optional + 56), 0x4000u + ((Get32(added + 8) + 0xFFF) & ~0xFFFu));
    EXPECT_EQ(Get32(file.data() + optional + 8), 0x400u + rawSize);
    EXPECT_EQ(Get32(file.data() + optional + 64), ReferenceChecksum(file, optional + 64));

    // The loader's order: named types first, names by their code units.
    const std::uint8_t* tree = file.data() + raw;
    EXPECT_EQ(StoredNames(tree, 0), (std::vector<std::string>{"MSP", "TEXT", "#24"}));
    EXPECT_EQ(StoredNames(tree, Subdirectory(tree, 0, 0)),
              (std::vector<std::string>{"IDR_MSP_1", "IDR_MSP_12", "IDR_MSP_2"}));

    std::vector<Resource> resources;
    ASSERT_TRUE(ReadResourceTree(tree, rawSize, rva, rva, resources));
    ASSERT_EQ(resources.size(), 6u);
    const std::pair<const char*, const Bytes*> patches[] = {{"IDR_MSP_1", &slot1}, {"IDR_MSP_12", &slot12},
                                                            {"IDR_MSP_2", &slot2}};
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(patches[i].first);
        EXPECT_EQ(std::string(resources[i].name.name.begin(), resources[i].name.name.end()), patches[i].first);
        EXPECT_EQ(resources[i].language, 0);
        EXPECT_EQ(resources[i].dataRva % 8, 0u);
        ASSERT_EQ(resources[i].size, patches[i].second->size());
        const std::size_t at = raw + (resources[i].dataRva - rva);
        EXPECT_TRUE(std::equal(patches[i].second->begin(), patches[i].second->end(), file.begin() + at));
    }
    // The stub's resources stay where they were, named by the new tree.
    EXPECT_EQ(resources[3].language, 0x0407);
    EXPECT_EQ(resources[3].dataRva, kStubResourceRva + 0x100);
    EXPECT_EQ(resources[4].language, 0x0409);
    EXPECT_EQ(resources[5].type.number, 24);
    EXPECT_EQ(resources[5].size, 40u);
}

TEST_P(WrapperWriter, WithoutPatchesOnlyTheTree)
{
    StubOptions options;
    options.x86 = GetParam();
    const Built built = Build(StubImage(options), {});
    ASSERT_EQ(built.file.size(), 0xA00u);
    std::vector<Resource> resources;
    EXPECT_TRUE(ReadResourceTree(built.file.data() + 0x800, 0x200, 0x4000, 0x4000, resources));
    EXPECT_EQ(resources.size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(X64AndX86, WrapperWriter, testing::Bool());

// The patch as the checks saw it, and the same name by the copy: longer,
// rewritten at the same size (its last write time one tick on), replaced
// by another file of the same size, gone; its last write time moved
// within the same second; and a file of the same size copied over it
// while its first piece goes in.
TEST(WrapperWriter, APatchThatIsNoLongerTheOneCheckedIsRefused)
{
    const Bytes stub = StubImage();
    const std::string patch = testing::TempDir() + "writer-changed.msp";
    std::ofstream(patch, std::ios::binary) << "the patch as checked";
    ASSERT_TRUE(SetLastWriteTime(patch, 1700000000, 100000000));
    const FileStamp checked = StampOf(patch);
    WrapperLayout layout;
    std::wstring problem;
    ASSERT_EQ(PlanWrapper(stub.data(), stub.size(), {{1, checked.size}}, layout, problem), kPlanned);
    const std::string out = testing::TempDir() + "writer-changed.exe";
    const std::wstring changed = L"patch file '" + WideFromUtf8(patch) + L"' changed while the wrapper was being built";
    EXPECT_EQ(WriteInto(out, layout, {{WideFromUtf8(patch), checked}}), L"");
    FileStamp stamp = checked;
    stamp.size -= 1;
    EXPECT_EQ(WriteInto(out, layout, {{WideFromUtf8(patch), stamp}}), changed);
    stamp = checked;
    stamp.identity.modified -= 1;
    EXPECT_EQ(WriteInto(out, layout, {{WideFromUtf8(patch), stamp}}), changed);
    stamp = checked;
    stamp.identity.index += 1;
    EXPECT_EQ(WriteInto(out, layout, {{WideFromUtf8(patch), stamp}}), changed);
    EXPECT_EQ(WriteInto(out, layout, {{WideFromUtf8(patch + ".gone"), checked}}),
              L"patch file '" + WideFromUtf8(patch) + L".gone' cannot be read");

    // 700 ns: below a second and a microsecond, and a whole number of the
    // 100 ns that Windows keeps.
    ASSERT_TRUE(SetLastWriteTime(patch, 1700000000, 100000700));
    EXPECT_EQ(WriteInto(out, layout, {{WideFromUtf8(patch), checked}}), changed);
    ASSERT_TRUE(SetLastWriteTime(patch, 1700000000, 100000000));
    ASSERT_EQ(WriteInto(out, layout, {{WideFromUtf8(patch), checked}}), L"");
    fake_steps::ActOnce(kPatchPieceCopied, [&](const std::wstring&) {
        std::ofstream(patch, std::ios::binary) << "another patch, same!";
    });
    EXPECT_EQ(WriteInto(out, layout, {{WideFromUtf8(patch), checked}}), changed);

    // Rewritten, its write time put back, after the sum that the head
    // takes and before the copy.
    std::ofstream(patch, std::ios::binary) << "the patch as checked";
    ASSERT_TRUE(SetLastWriteTime(patch, 1700000000, 100000000));
    fake_steps::ActOnce(kPatchPieceCopied, [&](const std::wstring&) {
        std::ofstream(patch, std::ios::binary) << "another patch, same!";
        SetLastWriteTime(patch, 1700000000, 100000000);
    });
    WrittenHashes hashes;
    hashes.wrapperWanted = true;
    EXPECT_EQ(WriteInto(out, layout, {{WideFromUtf8(patch), checked}}, &hashes), changed);
    fake_steps::Reset();
}

// Memory that runs out while the patch goes in, OUT.partial and the
// manifest's scratch file made and held, the manifest's folder made for
// it: a refusal, and the folder as it was.
TEST(Build, MemoryThatRunsOutMidBuildIsARefusalThatLeavesNothing)
{
    const std::filesystem::path folder = std::filesystem::path(testing::TempDir()) / "memory-out";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::filesystem::path patch = folder / "p.msp";
    std::ofstream(patch, std::ios::binary) << "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1 not checked";
    fake_host::Printed().clear();
    fake_steps::ActOnce(kPatchPieceCopied, [](const std::wstring&) { throw std::bad_alloc(); });
    const int status = RunBuilder({L"-o", (folder / "out.exe").wstring(), L"--manifest",
                                   (folder / "made" / "out.json").wstring(), L"--unchecked", patch.wstring()});
    fake_steps::Reset();
    EXPECT_EQ(status, kBuilderRefused);
    EXPECT_EQ(fake_host::Printed(), L"build-wrapper: refused: not enough memory to build the wrapper\n");
    std::vector<std::filesystem::path> left;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        left.push_back(entry.path());
    EXPECT_EQ(left, std::vector<std::filesystem::path>{patch});
}

// A file of another program's, given a second name at the scratch file's
// name just after the build found that name free: the build refuses the
// name and writes nothing through it.
TEST(ScratchFile, AFileLinkedInAfterTheNameWasFoundFreeIsLeftAlone)
{
    const std::string precious = testing::TempDir() + "scratch-precious.txt";
    const std::string scratch = testing::TempDir() + "scratch-late.exe.partial";
    std::remove(scratch.c_str());
    std::ofstream(precious, std::ios::binary) << "precious";
    fake_steps::ActOnce(kScratchNameCleared, [&](const std::wstring&) {
        std::filesystem::create_hard_link(precious, scratch);
    });
    FileProblem problem = kFileFine;
    const FileHandle file = CreateScratchFile(WideFromUtf8(scratch), problem);
    if (file != kNoFile) {
        const std::string text = "written through";
        WriteToFile(file, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
        CloseFile(file);
    }
    fake_steps::Reset();
    EXPECT_EQ(file, kNoFile);
    EXPECT_EQ(problem, kFileBusy);
    std::ifstream in(precious, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), "precious");
    std::remove(scratch.c_str());
    std::remove(precious.c_str());
}

// A patch cut short, and one written again in place with the same bytes,
// while the checks read it: refused as changed, before the build makes a
// file.
TEST(Build, APatchChangedWhileCheckedIsRefusedBeforeAnyFileIsMade)
{
    const std::string patch = testing::TempDir() + "checked.msp", out = testing::TempDir() + "checked.exe";
    const Bytes image = PatchImage(L"3.2.40.0;3.2.10.0", L"{A}");
    const auto write = [&](std::ios::openmode mode) {
        std::ofstream(patch, std::ios::binary | mode)
            .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    };
    const std::function<void()> changes[] = {
        [&] { std::filesystem::resize_file(patch, image.size() / 2); },
        [&] { write(std::ios::in | std::ios::out); },
    };
    for (const auto& change : changes) {
        write(std::ios::out);
        ASSERT_TRUE(SetLastWriteTime(patch, 1700000000, 0));
        fake_steps::ActOnce(kPatchPieceChecked, [&](const std::wstring&) { change(); });
        fake_host::Printed().clear();
        EXPECT_EQ(RunBuilder({L"-o", WideFromUtf8(out), WideFromUtf8(patch)}), kBuilderRefused);
        EXPECT_EQ(fake_host::Printed(), L"build-wrapper: patch file '" + WideFromUtf8(patch) +
                                            L"' changed while the wrapper was being built\n");
        EXPECT_FALSE(std::filesystem::exists(out));
        EXPECT_FALSE(std::filesystem::exists(out + ".partial"));
    }
    fake_steps::Reset();
    std::remove(patch.c_str());
}

// --- stubs the writer refuses ------------------------------------------------------------

struct StubRow {
    const char* name;
    std::function<void(Bytes&)> damage;
    std::wstring problem;
};

TEST(WrapperLayout, StubsNotInTheExpectedShape)
{
    const std::size_t optional = 0x40 + 24;
    const std::size_t directories = optional + 112;
    const std::size_t tree = kStubResourceSectionOffset;
    const StubRow rows[] = {
        {"no MZ", [](Bytes& b) { b[0] = 'X'; }, L"is not a Windows executable (no MZ header)"},
        {"PE header past the end", [](Bytes& b) { Put32(&b[0x3C], 0x7FF); }, L"is not a Windows executable (no PE header)"},
        {"an ARM64 machine", [](Bytes& b) { Put16(&b[0x44], 0xAA64); }, L"is not an x64 or x86 Windows executable"},
        {"signed", [&](Bytes& b) { Put32(&b[directories + 4 * 8 + 4], 0x100); },
         L"is signed already (a signature would no longer match once patches are added)"},
        {"data after the last section", [](Bytes& b) { b.push_back(0); }, L"has data after its last section"},
        {"no resources", [&](Bytes& b) { Put32(&b[directories + 2 * 8], 0); }, L"has no resources"},
        {"a tree that loops", [&](Bytes& b) { Put32(&b[tree + 0x18 + 4], 0x80000000u); },
         L"has a damaged resource tree"},
        {"a name past the section", [&](Bytes& b) { Put32(&b[tree + 0x10], 0x80000000u | 0x1FF); },
         L"has a damaged resource tree"},
        {"a resource outside the sections", [&](Bytes& b) { Put32(&b[tree + 0xA8], 0x9000); },
         L"has a resource outside its sections"},
        {"patches already", [&](Bytes& b) { Put16(&b[tree + 0xD0], 3); Put16(&b[tree + 0xD2], 'M');
                                             Put16(&b[tree + 0xD4], 'S'); Put16(&b[tree + 0xD6], 'P'); },
         L"carries patches already"},
        {"file alignment of 256", [&](Bytes& b) { Put32(&b[optional + 36], 0x100); },
         L"has section alignments a wrapper cannot have"},
        {"section alignment below the page size", [&](Bytes& b) { Put32(&b[optional + 32], 0x800); },
         L"has section alignments a wrapper cannot have"},
        // 5 types, each naming the same 5 names, each in the same 5 languages:
        // 155 entries read from a tree of 15.
        {"shared subtrees that multiply the entries", [&](Bytes& b) {
             for (std::uint32_t level = 0; level < 3; ++level) {
                 const std::size_t directory = tree + level * 0x38;
                 Put16(&b[directory + 12], 0);
                 Put16(&b[directory + 14], 5);
                 for (std::uint32_t i = 0; i < 5; ++i) {
                     Put32(&b[directory + 16 + i * 8], i + 1);
                     Put32(&b[directory + 20 + i * 8], level < 2 ? 0x80000000u | (level + 1) * 0x38 : 0xA8);
                 }
             }
         },
         L"has a damaged resource tree"},
    };
    for (const StubRow& row : rows) {
        Bytes stub = StubImage();
        row.damage(stub);
        WrapperLayout layout;
        std::wstring problem;
        EXPECT_EQ(PlanWrapper(stub.data(), stub.size(), {{1, 100}}, layout, problem), kStubRefused) << row.name;
        EXPECT_EQ(problem, row.problem) << row.name;
    }

    StubOptions crowded;
    crowded.peHeader = 0x80;
    const Bytes stub = StubImage(crowded);
    WrapperLayout layout;
    std::wstring problem;
    EXPECT_EQ(PlanWrapper(stub.data(), stub.size(), {}, layout, problem), kStubRefused);
    EXPECT_EQ(problem, L"has no room for one more section header");
}

TEST(WrapperLayout, TheLargestImageWindowsLoads)
{
    const Bytes stub = StubImage();
    WrapperLayout layout;
    std::wstring problem;
    // The stub ends at 0x4000, and the tree takes 0x130 bytes before the patch.
    const std::uint64_t fits = kLargestImage - 0x4000 - 0x130;
    EXPECT_EQ(PlanWrapper(stub.data(), stub.size(), {{1, fits}}, layout, problem), kPlanned);
    EXPECT_EQ(layout.sizeOfImage, kLargestImage);
    EXPECT_EQ(PlanWrapper(stub.data(), stub.size(), {{1, fits + 1}}, layout, problem), kWrapperTooLarge);
    EXPECT_EQ(problem, L"the wrapper would take 1996492800 bytes in memory; Windows loads no executable image "
                       L"above 1996488704 bytes (1904 MB)");
    // 2^63 and 2^63: a plain sum wraps to the stub's own size.
    EXPECT_EQ(PlanWrapper(stub.data(), stub.size(), {{1, 1ull << 63}, {2, 1ull << 63}}, layout, problem),
              kWrapperTooLarge);
    EXPECT_EQ(problem, L"the wrapper would take more than 18446744073709551615 bytes in memory; Windows loads no "
                       L"executable image above 1996488704 bytes (1904 MB)");
}

TEST(PeChecksum, PiecesOfAnySizeSumAsTheWhole)
{
    const Bytes file = Pattern(4099, 5);
    PeChecksum whole;
    AddToChecksum(whole, file.data(), file.size());
    for (std::size_t piece : {1u, 2u, 3u, 5u, 4096u}) {
        PeChecksum pieces;
        for (std::size_t at = 0; at < file.size(); at += piece)
            AddToChecksum(pieces, file.data() + at, std::min(piece, file.size() - at));
        EXPECT_EQ(FinishChecksum(pieces, file.size()), FinishChecksum(whole, file.size())) << piece;
    }
    Bytes zeroedField = file;
    zeroedField[64] = zeroedField[65] = zeroedField[66] = zeroedField[67] = 0;
    PeChecksum reference;
    AddToChecksum(reference, zeroedField.data(), zeroedField.size());
    EXPECT_EQ(FinishChecksum(reference, file.size()), ReferenceChecksum(file, 64));
}

// FIPS 180-2's examples and bytes that count modulo 251, so that no two
// blocks are alike (hashed by Python's hashlib), and the hash of pieces of
// any size as of the whole, by each engine this processor has, alone and
// in a pair whose second hash is 5 bytes ahead (their blocks start apart).
TEST(Sha256, KnownVectorsInPiecesOfAnySize)
{
    const std::string million(1000000, 'a');
    std::string counting(1000, '\0');
    for (std::size_t i = 0; i < counting.size(); ++i)
        counting[i] = static_cast<char>(i % 251);
    const std::pair<std::string, std::wstring> vectors[] = {
        {"", L"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         L"248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {million, L"cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {counting, L"4e4c294b331f7a2099a379bec34b9f9fc03dc46ab465d998f4d683da53487e6d"},
    };
    std::vector<Sha256Engine> engines = {kSha256Portable};
    if (HasShaExtensions())
        engines.push_back(kSha256Extensions);
    for (Sha256Engine engine : engines) {
        for (const auto& vector : vectors) {
            const std::uint8_t* bytes = reinterpret_cast<const std::uint8_t*>(vector.first.data());
            const std::size_t size = vector.first.size(), ahead = std::min<std::size_t>(size, 5);
            const std::wstring behind = HashOf(bytes + ahead, size - ahead, engine);
            for (std::size_t piece : {1u, 63u, 64u, 65u, 1u << 20}) {
                Sha256 hash, first, second;
                hash.engine = first.engine = second.engine = engine;
                AddToSha256(second, bytes, ahead);
                for (std::size_t at = 0; at < size; at += piece)
                    AddToSha256(hash, bytes + at, std::min(piece, size - at));
                for (std::size_t at = ahead; at < size; at += piece)
                    AddToSha256Pair(first, second, bytes + at, std::min(piece, size - at));
                SCOPED_TRACE(testing::Message() << "engine " << engine << ", " << size << " bytes in pieces of " << piece);
                EXPECT_EQ(FinishSha256(hash), vector.second);
                EXPECT_EQ(FinishSha256(second), vector.second);
                EXPECT_EQ(FinishSha256(first), behind);
            }
        }
    }
}

} // namespace
