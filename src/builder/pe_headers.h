#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The headers of an x64 or x86 Windows executable: where its optional
// header, data directories and section table lie in the file, the fields
// read from them, and the section table. Every offset is checked against
// the file, so a damaged or foreign file is refused, never read out of
// bounds. The wrapper writer reads its stub through it (pe_image.h adds
// what a stub must be), and so does the build's point_load_config.

struct PeSection {
    char name[8] = {};
    std::uint32_t virtualSize = 0;
    std::uint32_t virtualAddress = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t rawOffset = 0;
    std::uint32_t characteristics = 0;
};

struct PeHeaders {
    bool x86 = false;  // PE32 for i386; else PE32+ for x64
    std::size_t optionalHeader = 0;  // file offsets
    std::size_t dataDirectories = 0;
    std::size_t sectionTable = 0;
    std::uint32_t directoryCount = 0;
    std::uint64_t imageBase = 0;
    std::uint32_t fileAlignment = 0;
    std::uint32_t sectionAlignment = 0;
    std::uint32_t sizeOfHeaders = 0;
    std::uint32_t sizeOfImage = 0;
    std::uint32_t sizeOfInitializedData = 0;
    std::vector<PeSection> sections;  // as the table lists them, each inside the file
};

constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kDataDirectorySize = 8;
constexpr unsigned kResourceDirectory = 2;
constexpr unsigned kSecurityDirectory = 4;
constexpr std::size_t kChecksumField = 64;  // from the optional header's start
constexpr std::size_t kSizeOfImageField = 56;
constexpr std::size_t kSizeOfInitializedDataField = 8;

// Reads the headers of `bytes`. False, with what is wrong in `problem`
// ("is not a Windows executable (no PE header)", ...: the words follow
// the file's name), when the file is no x64 or x86 executable or its
// headers or section table do not lie inside it.
bool ReadPeHeaders(const std::uint8_t* bytes, std::size_t size, PeHeaders& headers, std::wstring& problem);

struct PeDirectory {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
};

// Entry `index` of the data directories; empty when the table is shorter.
PeDirectory DataDirectory(const std::uint8_t* bytes, const PeHeaders& headers, unsigned index);

// The section that holds `size` bytes at `rva`; nullptr when none does in
// its raw data.
const PeSection* SectionAt(const PeHeaders& headers, std::uint32_t rva, std::uint32_t size);

inline std::uint64_t AlignUp(std::uint64_t value, std::uint32_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}
