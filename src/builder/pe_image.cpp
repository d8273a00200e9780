#include "builder/pe_image.h"

#include "shared/little_endian.h"

#include <algorithm>

namespace {

constexpr std::uint16_t kMachineX64 = 0x8664;
constexpr std::uint16_t kMachineX86 = 0x014C;
constexpr std::uint16_t kMagicPe32 = 0x010B;
constexpr std::uint16_t kMagicPe32Plus = 0x020B;
constexpr std::uint32_t kRootDirectorySize = 16;  // a resource directory without entries

bool IsPowerOfTwo(std::uint32_t value)
{
    return value != 0 && (value & (value - 1)) == 0;
}

bool Refuse(std::wstring& problem, const wchar_t* what)
{
    problem = what;
    return false;
}

bool ReadSections(const std::uint8_t* bytes, std::size_t size, std::uint16_t count, PeImage& image,
                  std::wstring& problem)
{
    const std::uint64_t tableEnd = image.sectionTable + std::uint64_t{count} * kSectionHeaderSize;
    if (count == 0 || tableEnd > size || tableEnd > image.sizeOfHeaders)
        return Refuse(problem, L"is not a Windows executable (its section table is damaged)");
    std::uint64_t rawEnd = image.sizeOfHeaders;
    std::uint64_t firstRaw = size;
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::uint8_t* p = bytes + image.sectionTable + i * kSectionHeaderSize;
        PeSection section;
        std::copy(p, p + 8, section.name);
        section.virtualSize = Get32(p + 8);
        section.virtualAddress = Get32(p + 12);
        section.rawSize = Get32(p + 16);
        section.rawOffset = Get32(p + 20);
        section.characteristics = Get32(p + 36);
        if (std::uint64_t{section.rawOffset} + section.rawSize > size)
            return Refuse(problem, L"is not a Windows executable (a section lies past the end of the file)");
        if (section.rawSize != 0) {
            rawEnd = std::max<std::uint64_t>(rawEnd, std::uint64_t{section.rawOffset} + section.rawSize);
            firstRaw = std::min<std::uint64_t>(firstRaw, section.rawOffset);
        }
        image.sections.push_back(section);
    }
    // The new section's data goes where the file ends: anything after the
    // last section (a signature, appended data) would end up inside it.
    if (rawEnd != size)
        return Refuse(problem, L"has data after its last section");
    if (tableEnd + kSectionHeaderSize > std::min<std::uint64_t>(image.sizeOfHeaders, firstRaw))
        return Refuse(problem, L"has no room for one more section header");
    return true;
}

} // namespace

bool ReadPeImage(const std::uint8_t* bytes, std::size_t size, PeImage& image, std::wstring& problem)
{
    image = PeImage();
    if (size < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z')
        return Refuse(problem, L"is not a Windows executable (no MZ header)");
    const std::uint32_t peHeader = Get32(bytes + 0x3C);
    if (std::uint64_t{peHeader} + 24 > size || Get32(bytes + peHeader) != 0x00004550)
        return Refuse(problem, L"is not a Windows executable (no PE header)");
    const std::uint8_t* coff = bytes + peHeader + 4;
    const std::uint16_t machine = Get16(coff);
    const std::uint16_t sectionCount = Get16(coff + 2);
    const std::uint16_t optionalSize = Get16(coff + 16);
    image.optionalHeader = peHeader + 24;
    image.sectionTable = image.optionalHeader + optionalSize;
    if (image.sectionTable > size || optionalSize < 2)
        return Refuse(problem, L"is not a Windows executable (no optional header)");
    const std::uint8_t* optional = bytes + image.optionalHeader;
    const std::uint16_t magic = Get16(optional);
    image.x86 = machine == kMachineX86 && magic == kMagicPe32;
    if (!image.x86 && !(machine == kMachineX64 && magic == kMagicPe32Plus))
        return Refuse(problem, L"is not an x64 or x86 Windows executable");
    const std::size_t directoryCountField = image.x86 ? 92 : 108;
    image.dataDirectories = image.optionalHeader + directoryCountField + 4;
    if (directoryCountField + 4 > optionalSize)
        return Refuse(problem, L"is not a Windows executable (its optional header is too short)");
    const std::uint32_t directoryCount = Get32(optional + directoryCountField);
    if (directoryCount <= kSecurityDirectory ||
        directoryCountField + 4 + std::uint64_t{directoryCount} * kDataDirectorySize > optionalSize)
        return Refuse(problem, L"is not a Windows executable (its data directories are damaged)");

    image.sizeOfInitializedData = Get32(optional + kSizeOfInitializedDataField);
    image.sectionAlignment = Get32(optional + 32);
    image.fileAlignment = Get32(optional + 36);
    image.sizeOfImage = Get32(optional + kSizeOfImageField);
    image.sizeOfHeaders = Get32(optional + 60);
    const std::uint8_t* directories = bytes + image.dataDirectories;
    image.resourceRva = Get32(directories + kResourceDirectory * kDataDirectorySize);
    image.resourceSize = Get32(directories + kResourceDirectory * kDataDirectorySize + 4);
    if (Get32(directories + kSecurityDirectory * kDataDirectorySize + 4) != 0)
        return Refuse(problem, L"is signed already (a signature would no longer match once patches are added)");
    if (!IsPowerOfTwo(image.fileAlignment) || image.fileAlignment < 512 || image.fileAlignment > 65536 ||
        !IsPowerOfTwo(image.sectionAlignment) || image.sectionAlignment < image.fileAlignment)
        return Refuse(problem, L"has section alignments a wrapper cannot have");
    if (image.sizeOfHeaders > size || image.sizeOfHeaders % image.fileAlignment != 0)
        return Refuse(problem, L"is not a Windows executable (its headers' size is damaged)");
    if (!ReadSections(bytes, size, sectionCount, image, problem))
        return false;
    const PeSection* resources = SectionAt(image, image.resourceRva, kRootDirectorySize);
    if (image.resourceRva == 0 || image.resourceSize == 0 || resources == nullptr)
        return Refuse(problem, L"has no resources");
    image.resourceSection = static_cast<std::size_t>(resources - image.sections.data());
    return true;
}

const PeSection* SectionAt(const PeImage& image, std::uint32_t rva, std::uint32_t size)
{
    for (const PeSection& section : image.sections) {
        if (rva >= section.virtualAddress &&
            std::uint64_t{rva} + size <= std::uint64_t{section.virtualAddress} + section.rawSize)
            return &section;
    }
    return nullptr;
}
