#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A read-only view of a compound file (OLE structured storage): a patch
// embedded in the executable's resources (memory) or a patch file the
// builder checks. Every byte comes through a positional source, so that a
// reader touches only what it asks for: opening reads the header, the
// FAT's sector list, the mini FAT's sector list and the directory; a
// stream is read when it is asked for, and the FAT sectors its chain
// reaches, each once while the chain stays in it. A patch's bulk (its
// cabinet) is never read. Every chain, size and tree
// walk is checked against the source's size, so a damaged or hostile file
// is refused instead of read out of bounds, and what the reader holds is
// bounded whatever the file's size.

// The first bytes of every compound file.
constexpr std::uint8_t kCompoundFileSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

constexpr std::uint32_t kNoEntry = 0xFFFFFFFF;
constexpr std::uint32_t kRootEntry = 0;

constexpr std::uint8_t kEntryStorage = 1;
constexpr std::uint8_t kEntryStream = 2;
constexpr std::uint8_t kEntryRoot = 5;

struct DirectoryEntry {
    std::u16string name;  // UTF-16 code units, without the terminator
    std::uint8_t type = 0;  // 0 for an unused (or unknown) entry
    std::uint32_t left = kNoEntry;
    std::uint32_t right = kNoEntry;
    std::uint32_t child = kNoEntry;
    std::uint8_t classId[16] = {};
    std::uint32_t start = 0;
    std::uint64_t size = 0;
};

// Where the bytes come from: `read` fills `out` with the `size` bytes at
// `offset`, and answers false when it cannot give them all (the end of
// the source, a read error, which the source's owner may record in
// `context`).
struct ByteSource {
    bool (*read)(void* context, std::uint64_t offset, std::uint8_t* out, std::size_t size) = nullptr;
    void* context = nullptr;
    std::uint64_t size = 0;
};

// The bytes of a buffer, which must outlive the source.
ByteSource MemorySource(const std::uint8_t* bytes, std::size_t size);

struct CompoundFile {
    ByteSource source;  // the caller's context must outlive the record
    std::uint32_t sectorSize = 0;
    std::uint32_t sectorCount = 0;  // whole sectors after the header
    std::vector<std::uint32_t> fatSectors;
    std::vector<std::uint32_t> miniFatSectors;
    std::vector<std::uint32_t> miniStreamSectors;
    std::uint64_t miniStreamSize = 0;
    std::vector<DirectoryEntry> entries;
};

// False for anything but a sound compound file: bad signature or header
// fields, a FAT or directory chain that leaves the source or loops, a
// directory of more than kMaxDirectoryEntries, a root entry that is no
// root, a directory tree with a loop or a shared subtree, or an entry more
// than kMaxStorageDepth levels below the root; false too when the source
// fails a read. `file` is filled only on success.
bool OpenCompoundFile(const ByteSource& source, CompoundFile& file);
bool OpenCompoundFile(const std::uint8_t* bytes, std::size_t size, CompoundFile& file);

constexpr unsigned kMaxStorageDepth = 64;
// Far above any installer file's streams and storages (a few hundred),
// and a bound on what an open file holds: 512 sectors of entries.
constexpr std::size_t kMaxDirectoryEntries = 1 << 16;

// The entries directly inside a storage (or the root), in the directory's
// sort order. False when `storage` is no storage.
bool ListChildren(const CompoundFile& file, std::uint32_t storage, std::vector<std::uint32_t>& children);

// The child of `storage` called `name`, found by descending the storage's
// tree in the format's order (shorter names first, then unit by unit with
// letters folded to upper case); kNoEntry when there is none on that path.
std::uint32_t FindChild(const CompoundFile& file, std::uint32_t storage, const std::u16string& name);

// True when the format counts the two names as the same name.
bool SameEntryName(const std::u16string& a, const std::u16string& b);

// The whole stream `entry`, from the mini stream or from regular sectors.
// False, with `out` emptied, when the entry is no stream, its size exceeds
// `maxBytes`, its chain is shorter than its size, leaves the file or
// loops, or the source fails a read.
bool ReadStream(const CompoundFile& file, std::uint32_t entry, std::vector<std::uint8_t>& out,
                std::size_t maxBytes);
