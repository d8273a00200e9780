#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A read-only view of a compound file (OLE structured storage) held in
// memory, such as a patch embedded in the executable's resources. Opening
// parses the header, the FAT's sector list, the mini FAT's sector list and
// the directory; stream data stays in the caller's bytes until a stream is
// read. Every chain, size and tree walk is checked against the bytes, so a
// damaged or hostile file is refused instead of read out of bounds.

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

struct CompoundFile {
    const std::uint8_t* bytes = nullptr;  // the caller's; must outlive the record
    std::size_t size = 0;
    std::uint32_t sectorSize = 0;
    std::uint32_t sectorCount = 0;  // whole sectors after the header
    std::vector<std::uint32_t> fatSectors;
    std::vector<std::uint32_t> miniFatSectors;
    std::vector<std::uint32_t> miniStreamSectors;
    std::uint64_t miniStreamSize = 0;
    std::vector<DirectoryEntry> entries;
};

// False for anything but a sound compound file: bad signature or header
// fields, a FAT or directory chain that leaves the bytes or loops, a root
// entry that is no root, a directory tree with a loop or a shared subtree,
// or an entry more than kMaxStorageDepth levels below the root. `file` is
// filled only on success.
bool OpenCompoundFile(const std::uint8_t* bytes, std::size_t size, CompoundFile& file);

constexpr unsigned kMaxStorageDepth = 64;

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
// `maxBytes`, or its chain is shorter than its size, leaves the file or
// loops.
bool ReadStream(const CompoundFile& file, std::uint32_t entry, std::vector<std::uint8_t>& out,
                std::size_t maxBytes);
