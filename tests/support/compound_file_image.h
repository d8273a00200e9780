#pragma once

// Writes compound-file images in memory for tests: streams at paths of
// storages, laid out as real writers lay them out (streams under 4096 bytes
// in the mini stream, the rest in sector chains, storages sorted into
// balanced sibling trees). The layout it reports lets a test damage one
// structure of an otherwise sound image.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ImageStream {
    std::vector<std::u16string> path;  // storages from the root, then the stream's name
    std::vector<std::uint8_t> bytes;
};

struct ImageOptions {
    unsigned sectorShift = 9;  // 9 (512-byte sectors) or 12 (4096)
    std::uint8_t rootClassId[16] = {};
    // At least this many FAT sectors, the unused ones free: more than 109
    // puts FAT sectors in the DIFAT chain without a file of megabytes.
    std::uint32_t minimumFatSectors = 0;
    // At least this many directory entries, the unused ones empty.
    std::size_t minimumDirectoryEntries = 0;
};

// Where the writer put things; sector numbers count from the first sector
// after the header, as the FAT does.
struct ImageLayout {
    std::uint32_t sectorSize = 0;
    std::vector<std::uint32_t> fatSectors;
    std::vector<std::uint32_t> difatSectors;
    std::vector<std::uint32_t> directorySectors;
    std::vector<std::uint32_t> miniFatSectors;
    std::vector<std::uint32_t> streamEntries;  // directory entry of each stream, in input order
    std::vector<std::uint32_t> streamStarts;   // first (mini) sector of each stream
};

std::vector<std::uint8_t> CompoundFileImage(const std::vector<ImageStream>& streams);
std::vector<std::uint8_t> CompoundFileImage(const std::vector<ImageStream>& streams, const ImageOptions& options,
                                            ImageLayout* layout = nullptr);

// Byte offsets into an image with `layout`, for tests that damage it.
std::size_t SectorOffset(const ImageLayout& layout, std::uint32_t sector);
std::size_t FatEntryOffset(const ImageLayout& layout, std::uint32_t sector);
std::size_t MiniFatEntryOffset(const ImageLayout& layout, std::uint32_t miniSector);
std::size_t DirectoryEntryOffset(const ImageLayout& layout, std::uint32_t entry);

// Offsets of fields inside a directory entry.
constexpr std::size_t kEntryLeftField = 0x44;
constexpr std::size_t kEntryRightField = 0x48;
constexpr std::size_t kEntryChildField = 0x4C;
constexpr std::size_t kEntryStartField = 0x74;
constexpr std::size_t kEntrySizeField = 0x78;

void PutLittle32(std::vector<std::uint8_t>& image, std::size_t offset, std::uint32_t value);
std::uint32_t GetLittle32(const std::vector<std::uint8_t>& image, std::size_t offset);
