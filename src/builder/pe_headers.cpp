#include "builder/pe_headers.h"

#include "shared/little_endian.h"

#include <algorithm>

namespace {

constexpr std::uint16_t kMachineX64 = 0x8664;
constexpr std::uint16_t kMachineX86 = 0x014C;
constexpr std::uint16_t kMagicPe32 = 0x010B;
constexpr std::uint16_t kMagicPe32Plus = 0x020B;

bool Refuse(std::wstring& problem, const wchar_t* what)
{
    problem = what;
    return false;
}

bool ReadSections(const std::uint8_t* bytes, std::size_t size, std::uint16_t count, PeHeaders& headers,
                  std::wstring& problem)
{
    const std::uint64_t tableEnd = headers.sectionTable + std::uint64_t{count} * kSectionHeaderSize;
    if (count == 0 || tableEnd > size || tableEnd > headers.sizeOfHeaders)
        return Refuse(problem, L"is not a Windows executable (its section table is damaged)");
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::uint8_t* p = bytes + headers.sectionTable + i * kSectionHeaderSize;
        PeSection section;
        std::copy(p, p + 8, section.name);
        section.virtualSize = Get32(p + 8);
        section.virtualAddress = Get32(p + 12);
        section.rawSize = Get32(p + 16);
        section.rawOffset = Get32(p + 20);
        section.characteristics = Get32(p + 36);
        if (std::uint64_t{section.rawOffset} + section.rawSize > size)
            return Refuse(problem, L"is not a Windows executable (a section lies past the end of the file)");
        headers.sections.push_back(section);
    }
    return true;
}

} // namespace

bool ReadPeHeaders(const std::uint8_t* bytes, std::size_t size, PeHeaders& headers, std::wstring& problem)
{
    headers = PeHeaders();
    if (size < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z')
        return Refuse(problem, L"is not a Windows executable (no MZ header)");
    const std::uint32_t peHeader = Get32(bytes + 0x3C);
    if (std::uint64_t{peHeader} + 24 > size || Get32(bytes + peHeader) != 0x00004550)
        return Refuse(problem, L"is not a Windows executable (no PE header)");
    const std::uint8_t* coff = bytes + peHeader + 4;
    const std::uint16_t machine = Get16(coff);
    const std::uint16_t sectionCount = Get16(coff + 2);
    const std::uint16_t optionalSize = Get16(coff + 16);
    headers.optionalHeader = peHeader + 24;
    headers.sectionTable = headers.optionalHeader + optionalSize;
    if (headers.sectionTable > size || optionalSize < 2)
        return Refuse(problem, L"is not a Windows executable (no optional header)");
    const std::uint8_t* optional = bytes + headers.optionalHeader;
    const std::uint16_t magic = Get16(optional);
    headers.x86 = machine == kMachineX86 && magic == kMagicPe32;
    if (!headers.x86 && !(machine == kMachineX64 && magic == kMagicPe32Plus))
        return Refuse(problem, L"is not an x64 or x86 Windows executable");
    const std::size_t directoryCountField = headers.x86 ? 92 : 108;
    headers.dataDirectories = headers.optionalHeader + directoryCountField + 4;
    if (directoryCountField + 4 > optionalSize)
        return Refuse(problem, L"is not a Windows executable (its optional header is too short)");
    headers.directoryCount = Get32(optional + directoryCountField);
    if (directoryCountField + 4 + std::uint64_t{headers.directoryCount} * kDataDirectorySize > optionalSize)
        return Refuse(problem, L"is not a Windows executable (its data directories are damaged)");

    headers.imageBase = headers.x86 ? Get32(optional + 28)
                                    : Get32(optional + 24) | std::uint64_t{Get32(optional + 28)} << 32;
    headers.sizeOfInitializedData = Get32(optional + kSizeOfInitializedDataField);
    headers.sectionAlignment = Get32(optional + 32);
    headers.fileAlignment = Get32(optional + 36);
    headers.sizeOfImage = Get32(optional + kSizeOfImageField);
    headers.sizeOfHeaders = Get32(optional + 60);
    if (headers.sizeOfHeaders > size)
        return Refuse(problem, L"is not a Windows executable (its headers lie past the end of the file)");
    return ReadSections(bytes, size, sectionCount, headers, problem);
}

PeDirectory DataDirectory(const std::uint8_t* bytes, const PeHeaders& headers, unsigned index)
{
    if (index >= headers.directoryCount)
        return PeDirectory();
    const std::uint8_t* entry = bytes + headers.dataDirectories + index * kDataDirectorySize;
    return PeDirectory{Get32(entry), Get32(entry + 4)};
}

const PeSection* SectionAt(const PeHeaders& headers, std::uint32_t rva, std::uint32_t size)
{
    for (const PeSection& section : headers.sections) {
        if (rva >= section.virtualAddress &&
            std::uint64_t{rva} + size <= std::uint64_t{section.virtualAddress} + section.rawSize)
            return &section;
    }
    return nullptr;
}
