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
constexpr std::uint16_t kMagicPe32 = 0x10b;
constexpr std::uint16_t kMagicPe32Plus = 0x20b;
// Where DependentLoadFlags sits in each layout, to check what the entry will name.
constexpr std::uint32_t kDependentLoadFlags32 = 0x36;
constexpr std::uint32_t kDependentLoadFlags64 = 0x4e;

using Bytes = std::vector<unsigned char>;

std::uint64_t ReadLittle(const Bytes& bytes, std::size_t at, int size)
{
    return size == 2 ? Get16(&bytes[at]) : size == 4 ? Get32(&bytes[at])
                                         : Get32(&bytes[at]) | std::uint64_t{Get32(&bytes[at + 4])} << 32;
}

// The address the map gives the symbol: a line "0xADDRESS _load_config_used"
// (x86 names it with one more underscore).
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
        if ((second != "_load_config_used" && second != "__load_config_used") || first.rfind("0x", 0) != 0)
            continue;
        address = std::stoull(first, nullptr, 16);
        ++found;
    }
    return found == 1;
}

// The file offset of an RVA inside a section's raw data, for `length` bytes.
bool FileOffset(const Bytes& image, std::size_t sections, unsigned count, std::uint64_t rva, std::uint64_t length,
                std::uint64_t& offset)
{
    for (unsigned i = 0; i < count; ++i) {
        const std::size_t header = sections + 40 * i;
        if (header + 40 > image.size())
            return false;
        const std::uint64_t start = ReadLittle(image, header + 12, 4);
        const std::uint64_t rawSize = ReadLittle(image, header + 16, 4);
        const std::uint64_t rawStart = ReadLittle(image, header + 20, 4);
        if (rva >= start && rva + length <= start + rawSize) {
            offset = rawStart + (rva - start);
            return offset + length <= image.size();
        }
    }
    return false;
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
    if (image.size() < 0x40 || image[0] != 'M' || image[1] != 'Z')
        return Fail(path, "not a PE image");
    const std::size_t pe = ReadLittle(image, 0x3c, 4);
    if (pe + 24 + 2 > image.size() || ReadLittle(image, pe, 4) != 0x4550)
        return Fail(path, "not a PE image");
    const unsigned sectionCount = static_cast<unsigned>(ReadLittle(image, pe + 6, 2));
    const std::size_t optional = pe + 24;
    const std::size_t optionalSize = ReadLittle(image, pe + 20, 2);
    const std::uint16_t magic = static_cast<std::uint16_t>(ReadLittle(image, optional, 2));
    if (magic != kMagicPe32 && magic != kMagicPe32Plus)
        return Fail(path, "unknown optional header");
    const bool plus = magic == kMagicPe32Plus;
    const std::size_t directoryCountAt = optional + (plus ? 108 : 92);
    const std::size_t directories = directoryCountAt + 4;
    if (optional + optionalSize > image.size() || directories > optional + optionalSize ||
        ReadLittle(image, directoryCountAt, 4) <= kLoadConfigEntry ||
        directories + 8 * (kLoadConfigEntry + 1) > optional + optionalSize)
        return Fail(path, "no load configuration entry in the data directory");
    const std::uint64_t imageBase = plus ? ReadLittle(image, optional + 24, 8) : ReadLittle(image, optional + 28, 4);

    std::uint64_t address = 0;
    if (!FindInMap(argv[2], address))
        return Fail(path, std::string("no single _load_config_used in ") + argv[2]);
    if (address < imageBase || address - imageBase > 0xffffffffu)
        return Fail(path, "_load_config_used lies outside the image");
    const std::uint64_t rva = address - imageBase;
    std::uint64_t at = 0;
    if (!FileOffset(image, optional + optionalSize, sectionCount, rva, 4, at))
        return Fail(path, "_load_config_used is not in the file");
    const std::uint32_t size = static_cast<std::uint32_t>(ReadLittle(image, at, 4));
    const std::uint32_t flagsAt = plus ? kDependentLoadFlags64 : kDependentLoadFlags32;
    if (size < flagsAt + 2 || !FileOffset(image, optional + optionalSize, sectionCount, rva, size, at))
        return Fail(path, "_load_config_used states a size that does not hold it");
    if (ReadLittle(image, at + flagsAt, 2) == 0)
        return Fail(path, "_load_config_used sets no dependent load flags");

    const std::size_t entry = directories + 8 * kLoadConfigEntry;
    Put32(&image[entry], static_cast<std::uint32_t>(rva));
    Put32(&image[entry + 4], size);
    const std::size_t checksumAt = optional + 64;
    if (ReadLittle(image, checksumAt, 4) != 0)
        Put32(&image[checksumAt], Checksum(image, checksumAt));

    std::ofstream out(path, std::ios::binary | std::ios::in);
    out.seekp(0);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    if (!out.flush())
        return Fail(path, "cannot be written");
    return 0;
}
