#include "support/stub_image.h"

#include "shared/little_endian.h"

#include <cstring>

namespace {

constexpr std::size_t kFileAlignment = 0x200;
constexpr std::uint32_t kSectionAlignment = 0x1000;

struct Section {
    const char* name;
    std::uint32_t rva;
    std::uint32_t rawOffset;
    std::uint32_t virtualSize;
    std::uint32_t characteristics;
};

// The tree: root (two types), TEXT (one name, two languages), #24 (one
// name, one language); data entries, names, then the bytes.
void PutResources(std::uint8_t* at)
{
    auto directory = [&](std::size_t offset, std::uint16_t named, std::uint16_t numbered) {
        Put16(at + offset + 12, named);
        Put16(at + offset + 14, numbered);
    };
    auto entry = [&](std::size_t offset, std::uint32_t id, std::uint32_t target) {
        Put32(at + offset, id);
        Put32(at + offset + 4, target);
    };
    const std::uint32_t sub = 0x80000000u;
    directory(0x00, 1, 1);                   // root
    entry(0x10, sub | 0xD0, sub | 0x20);     // "TEXT"
    entry(0x18, 24, sub | 0x38);             // #24
    directory(0x20, 1, 0);                   // TEXT's names
    entry(0x30, sub | 0xDC, sub | 0x50);     // "NOTE"
    directory(0x38, 0, 1);                   // #24's names
    entry(0x48, 1, sub | 0x70);              // #1
    directory(0x50, 0, 2);                   // NOTE's languages
    entry(0x60, 0x0407, 0x88);
    entry(0x68, 0x0409, 0x98);
    directory(0x70, 0, 1);                   // #1's languages
    entry(0x80, 0, 0xA8);
    auto data = [&](std::size_t offset, std::uint32_t rva, std::uint32_t size) {
        Put32(at + offset, rva);
        Put32(at + offset + 4, size);
    };
    data(0x88, kStubResourceRva + 0x100, 5);
    data(0x98, kStubResourceRva + 0x108, 6);
    data(0xA8, kStubResourceRva + 0x1D8, 40);  // ends where the section's raw data does
    const char16_t* names[] = {u"TEXT", u"NOTE"};
    std::size_t offset = 0xD0;
    for (const char16_t* name : names) {
        Put16(at + offset, 4);
        for (int i = 0; i < 4; ++i)
            Put16(at + offset + 2 + i * 2, static_cast<std::uint16_t>(name[i]));
        offset += 0xC;
    }
    std::memcpy(at + 0x100, "Hallo", 5);
    std::memcpy(at + 0x108, "Hello!", 6);
    std::memcpy(at + 0x1D8, "<assembly manifestVersion=\"1.0\"></assembly", 40);
}

} // namespace

std::vector<std::uint8_t> StubImage(const StubOptions& options)
{
    std::vector<std::uint8_t> image(0x800, 0);
    std::uint8_t* p = image.data();
    p[0] = 'M';
    p[1] = 'Z';
    Put32(p + 0x3C, static_cast<std::uint32_t>(options.peHeader));
    std::uint8_t* pe = p + options.peHeader;
    std::memcpy(pe, "PE\0\0", 4);
    const std::uint16_t optionalSize = options.x86 ? 0xE0 : 0xF0;
    Put16(pe + 4, options.x86 ? 0x014C : 0x8664);
    Put16(pe + 6, 3);
    Put16(pe + 20, optionalSize);
    Put16(pe + 22, 0x0022);
    std::uint8_t* optional = pe + 24;
    Put16(optional, options.x86 ? 0x010B : 0x020B);
    Put32(optional + 4, 0x200);                  // SizeOfCode
    Put32(optional + 8, 0x400);                  // SizeOfInitializedData
    Put32(optional + 16, 0x1000);                // AddressOfEntryPoint
    Put32(optional + 32, kSectionAlignment);
    Put32(optional + 36, kFileAlignment);
    Put32(optional + 56, 0x4000);                // SizeOfImage
    Put32(optional + 60, 0x200);                 // SizeOfHeaders
    Put16(optional + 68, 2);                     // GUI
    const std::size_t directoryCount = options.x86 ? 92 : 108;
    Put32(optional + directoryCount, 16);
    std::uint8_t* directories = optional + directoryCount + 4;
    Put32(directories + 2 * 8, kStubResourceRva);
    Put32(directories + 2 * 8 + 4, 0x200);
    Put32(directories + 5 * 8, 0x3000);
    Put32(directories + 5 * 8 + 4, 0x0C);

    const Section sections[] = {
        {".text", 0x1000, 0x200, 0x10, 0x60000020},
        {".rsrc", kStubResourceRva, kStubResourceSectionOffset, 0x200, 0xC0000040},  // writable, as ld makes it
        {".reloc", 0x3000, 0x600, 0x0C, 0x42000040},
    };
    std::uint8_t* header = optional + optionalSize;
    for (const Section& section : sections) {
        std::memcpy(header, section.name, std::strlen(section.name));
        Put32(header + 8, section.virtualSize);
        Put32(header + 12, section.rva);
        Put32(header + 16, kFileAlignment);
        Put32(header + 20, section.rawOffset);
        Put32(header + 36, section.characteristics);
        header += 40;
    }
    p[0x200] = 0xC3;  // ret
    PutResources(p + kStubResourceSectionOffset);
    Put32(p + 0x600, 0x1000);  // one relocation block, empty but for its header
    Put32(p + 0x604, 0x0C);
    return image;
}
