#include "builder/pe_image.h"

#include <algorithm>

namespace {

constexpr std::uint32_t kRootDirectorySize = 16;  // a resource directory without entries
constexpr std::uint32_t kPageSize = 4096;  // on x64 and x86

bool IsPowerOfTwo(std::uint32_t value)
{
    return value != 0 && (value & (value - 1)) == 0;
}

bool Refuse(std::wstring& problem, const wchar_t* what)
{
    problem = what;
    return false;
}

// FileAlignment a power of two from 512 to 64K, SectionAlignment one of at
// least FileAlignment (Microsoft's "PE Format", Optional Header
// Windows-Specific Fields), and not below the page size: below it the file
// is mapped as it lies and every section must sit at an address equal to
// its file offset (Wine's map_image refuses the image otherwise), which the
// added section need not keep: its address follows the image in memory,
// its data the file on disk.
bool KeepsAlignments(const PeImage& image)
{
    return IsPowerOfTwo(image.fileAlignment) && image.fileAlignment >= 512 && image.fileAlignment <= 65536 &&
           IsPowerOfTwo(image.sectionAlignment) && image.sectionAlignment >= image.fileAlignment &&
           image.sectionAlignment >= kPageSize;
}

} // namespace

bool ReadPeImage(const std::uint8_t* bytes, std::size_t size, PeImage& image, std::wstring& problem)
{
    image = PeImage();
    if (!ReadPeHeaders(bytes, size, image, problem))
        return false;
    if (DataDirectory(bytes, image, kSecurityDirectory).size != 0)
        return Refuse(problem, L"is signed already (a signature would no longer match once patches are added)");
    if (!KeepsAlignments(image))
        return Refuse(problem, L"has section alignments a wrapper cannot have");
    if (image.sizeOfHeaders % image.fileAlignment != 0)
        return Refuse(problem, L"is not a Windows executable (its headers' size is damaged)");

    std::uint64_t rawEnd = image.sizeOfHeaders;
    std::uint64_t firstRaw = size;
    for (const PeSection& section : image.sections) {
        if (section.rawSize != 0) {
            rawEnd = std::max<std::uint64_t>(rawEnd, std::uint64_t{section.rawOffset} + section.rawSize);
            firstRaw = std::min<std::uint64_t>(firstRaw, section.rawOffset);
        }
    }
    // The new section's data goes where the file ends: anything after the
    // last section (a signature, appended data) would end up inside it.
    if (rawEnd != size)
        return Refuse(problem, L"has data after its last section");
    const std::uint64_t tableEnd = image.sectionTable + image.sections.size() * kSectionHeaderSize;
    if (tableEnd + kSectionHeaderSize > std::min<std::uint64_t>(image.sizeOfHeaders, firstRaw))
        return Refuse(problem, L"has no room for one more section header");

    const PeDirectory resources = DataDirectory(bytes, image, kResourceDirectory);
    const PeSection* section = SectionAt(image, resources.rva, kRootDirectorySize);
    if (resources.rva == 0 || resources.size == 0 || section == nullptr)
        return Refuse(problem, L"has no resources");
    image.resourceRva = resources.rva;
    image.resourceSize = resources.size;
    image.resourceSection = static_cast<std::size_t>(section - image.sections.data());
    return true;
}
