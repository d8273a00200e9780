#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The headers of a wrapper without patches (the stub), as the wrapper
// writer needs them: where the fields it rewrites lie in the file, the
// section table and the resource directory. Only what the loader and the
// signing tools read is interpreted; every offset is checked against the
// file, so a damaged or foreign file is refused, never read out of bounds.

struct PeSection {
    char name[8] = {};
    std::uint32_t virtualSize = 0;
    std::uint32_t virtualAddress = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t rawOffset = 0;
    std::uint32_t characteristics = 0;
};

struct PeImage {
    bool x86 = false;  // PE32 for i386; else PE32+ for x64
    std::size_t optionalHeader = 0;  // file offsets of the fields rewritten
    std::size_t sectionTable = 0;
    std::size_t dataDirectories = 0;
    std::uint32_t fileAlignment = 0;
    std::uint32_t sectionAlignment = 0;
    std::uint32_t sizeOfHeaders = 0;
    std::uint32_t sizeOfImage = 0;
    std::uint32_t sizeOfInitializedData = 0;
    std::uint32_t resourceRva = 0;
    std::uint32_t resourceSize = 0;
    std::size_t resourceSection = 0;  // the section that holds the tree's root
    std::vector<PeSection> sections;  // as the table lists them
};

constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kDataDirectorySize = 8;
constexpr unsigned kResourceDirectory = 2;
constexpr unsigned kSecurityDirectory = 4;
constexpr std::size_t kChecksumField = 64;  // from the optional header's start
constexpr std::size_t kSizeOfImageField = 56;
constexpr std::size_t kSizeOfInitializedDataField = 8;

// Reads the headers of `bytes`. False, with what is wrong in `problem`
// ("is not a Windows executable", "is signed already", ...: the words
// follow the file's name), when the file is no x64 or x86 executable the
// writer can add a section to: not a PE file, signed, data after its last
// section, no room for one more section header, no resources, alignments
// it does not keep.
bool ReadPeImage(const std::uint8_t* bytes, std::size_t size, PeImage& image, std::wstring& problem);

// The section that holds `rva`; nullptr when none does in its raw data.
const PeSection* SectionAt(const PeImage& image, std::uint32_t rva, std::uint32_t size);

inline std::uint64_t AlignUp(std::uint64_t value, std::uint32_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}
