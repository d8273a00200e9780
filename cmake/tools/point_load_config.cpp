// Points the load configuration entry of a linked PE image at the image's
// _load_config_used structure, which GNU ld links but does not enter in the
// data directory. Runs on the build machine after each link.
//
//   point_load_config IMAGE MAP
//
// MAP is the linker's map file, which names the structure's address even
// when the image is stripped. The entry gets the structure's RVA and the
// size the structure states in its first field; a header checksum that is
// set is computed again. The same image gives the same bytes, and a second
// run changes nothing. Exit code 0 when done, 1 with a message otherwise.

#include "builder/pe_checksum.h"
#include "builder/pe_headers.h"
#include "shared/little_endian.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kLoadConfigEntry = 10;
// Where DependentLoadFlags sits in each layout, to check what the entry will name.
constexpr std::uint32_t kDependentLoadFlags32 = 0x36;
constexpr std::uint32_t kDependentLoadFlags64 = 0x4e;

using Bytes = std::vector<unsigned char>;

// The address the map gives the symbol: a line "0xADDRESS _load_config_used"
// (the map names it so for x64 and x86 alike).
bool FindInMap(const std::string& mapPath, std::uint64_t& address)
{
    std::ifstream map(mapPath);
    std::string line;
    int found = 0;
    while (std::getline(map, line)) {
        std::istringstream words(line);
        std::string first, second, rest;
        if (!(words >> first >> second) || (words >> rest))
            continue;
        if (second != "_load_config_used" || first.rfind("0x", 0) != 0)
            continue;
        address = std::stoull(first, nullptr, 16);
        ++found;
    }
    return found == 1;
}

// The file offset of `length` bytes at an RVA, inside a section's raw data.
bool FileOffset(const PeHeaders& headers, std::uint32_t rva, std::uint32_t length, std::size_t& offset)
{
    const PeSection* section = SectionAt(headers, rva, length);
    if (section == nullptr)
        return false;
    offset = section->rawOffset + (rva - section->virtualAddress);
    return true;
}

// The PE checksum, its own field counted as zero.
std::uint32_t Checksum(Bytes image, std::size_t checksumAt)
{
    Put32(&image[checksumAt], 0);
    PeChecksum checksum;
    AddToChecksum(checksum, image.data(), image.size());
    return FinishChecksum(checksum, image.size());
}

int Fail(const std::string& image, const std::string& why)
{
    std::fprintf(stderr, "point_load_config: %s: %s\n", image.c_str(), why.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: point_load_config IMAGE MAP\n");
        return 1;
    }
    const std::string path = argv[1];
    Bytes image;
    {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return Fail(path, "cannot be read");
        image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    PeHeaders headers;
    std::wstring problem;
    if (!ReadPeHeaders(image.data(), image.size(), headers, problem)) {
        std::fprintf(stderr, "point_load_config: %s: %ls\n", path.c_str(), problem.c_str());
        return 1;
    }
    if (headers.directoryCount <= kLoadConfigEntry)
        return Fail(path, "no load configuration entry in the data directory");

    std::uint64_t address = 0;
    if (!FindInMap(argv[2], address))
        return Fail(path, std::string("no single _load_config_used in ") + argv[2]);
    if (address < headers.imageBase || address - headers.imageBase > 0xffffffffu)
        return Fail(path, "_load_config_used lies outside the image");
    const std::uint32_t rva = static_cast<std::uint32_t>(address - headers.imageBase);
    std::size_t at = 0;
    if (!FileOffset(headers, rva, 4, at))
        return Fail(path, "_load_config_used is not in the file");
    const std::uint32_t size = Get32(&image[at]);
    const std::uint32_t flagsAt = headers.x86 ? kDependentLoadFlags32 : kDependentLoadFlags64;
    if (size < flagsAt + 2 || !FileOffset(headers, rva, size, at))
        return Fail(path, "_load_config_used states a size that does not hold it");
    if (Get16(&image[at + flagsAt]) == 0)
        return Fail(path, "_load_config_used sets no dependent load flags");

    const std::size_t entry = headers.dataDirectories + kDataDirectorySize * kLoadConfigEntry;
    Put32(&image[entry], rva);
    Put32(&image[entry + 4], size);
    const std::size_t checksumAt = headers.optionalHeader + kChecksumField;
    if (Get32(&image[checksumAt]) != 0)
        Put32(&image[checksumAt], Checksum(image, checksumAt));

    std::ofstream out(path, std::ios::binary | std::ios::in);
    out.seekp(0);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    if (!out.flush())
        return Fail(path, "cannot be written");
    return 0;
}
