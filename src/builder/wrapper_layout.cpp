#include "builder/wrapper_layout.h"

#include "builder/pe_image.h"
#include "builder/resource_tree.h"
#include "payload/patch_slots.h"
#include "shared/little_endian.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr std::uint32_t kResourceAlignment = 8;  // as linkers align resource data
// The stub's own resource section keeps its place and its bytes, but not
// its name: tools that find the tree by the name ".rsrc" find the new one.
constexpr char kStubResourceSectionName[8] = {'.', 's', 't', 'u', 'b', 'r', 'e', 's'};
constexpr char kResourceSectionName[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
// Initialized data, readable, not writable (IMAGE_SCN_CNT_INITIALIZED_DATA
// | IMAGE_SCN_MEM_READ), whatever the stub's resource section is: the
// patches are only read, and the loader maps a writable section
// copy-on-write, a kind of view charged against the commit limit whole
// (MapViewOfFile, FILE_MAP_COPY, in Microsoft's documentation).
constexpr std::uint32_t kResourceSectionCharacteristics = 0x40000040;

ResourceId IdOf(const std::wstring& text)
{
    ResourceId id;
    id.name.assign(text.begin(), text.end());
    return id;
}

// The stub's resources, where its tree says they are; false when the tree
// is damaged, a resource lies outside the image's sections, or the stub
// carries patches already.
bool ReadStubResources(const std::uint8_t* stub, const PeImage& image, std::vector<Resource>& resources,
                       std::wstring& problem)
{
    const PeSection& section = image.sections[image.resourceSection];
    if (!ReadResourceTree(stub + section.rawOffset, section.rawSize, section.virtualAddress, image.resourceRva,
                          resources)) {
        problem = L"has a damaged resource tree";
        return false;
    }
    const ResourceId patchType = IdOf(L"MSP");
    for (const Resource& resource : resources) {
        if (SectionAt(image, resource.dataRva, resource.size) == nullptr) {
            problem = L"has a resource outside its sections";
            return false;
        }
        if (resource.type.name == patchType.name) {
            problem = L"carries patches already";
            return false;
        }
    }
    return true;
}

void PutSectionHeader(std::uint8_t* at, const char (&name)[8], std::uint32_t virtualSize, std::uint32_t rva,
                      std::uint32_t rawSize, std::uint32_t rawOffset, std::uint32_t characteristics)
{
    std::fill(at, at + kSectionHeaderSize, 0);
    std::copy(name, name + 8, at);
    Put32(at + 8, virtualSize);
    Put32(at + 12, rva);
    Put32(at + 16, rawSize);
    Put32(at + 20, rawOffset);
    Put32(at + 36, characteristics);
}

// `total` aligned up to `alignment`, then `size` added; false, `total`
// unchanged, when the result does not fit in 64 bits.
bool AddAligned(std::uint64_t& total, std::uint64_t size, std::uint32_t alignment)
{
    if (total > UINT64_MAX - (alignment - 1))
        return false;
    const std::uint64_t aligned = AlignUp(total, alignment);
    if (size > UINT64_MAX - aligned)
        return false;
    total = aligned + size;
    return true;
}

} // namespace

PlanResult PlanWrapper(const std::uint8_t* stub, std::size_t stubSize, const std::vector<PatchSlot>& patches,
                       WrapperLayout& layout, std::wstring& problem)
{
    layout = WrapperLayout();
    PeImage image;
    std::vector<Resource> resources;
    if (!ReadPeImage(stub, stubSize, image, problem) || !ReadStubResources(stub, image, resources, problem))
        return kStubRefused;
    layout.x86 = image.x86;

    std::uint64_t imageEnd = 0;
    for (const PeSection& section : image.sections)
        imageEnd = std::max<std::uint64_t>(imageEnd, std::uint64_t{section.virtualAddress} +
                                                         std::max(section.virtualSize, section.rawSize));
    const std::uint64_t sectionRva = AlignUp(std::max<std::uint64_t>(imageEnd, image.sizeOfImage),
                                             image.sectionAlignment);
    const std::uint64_t sectionOffset = AlignUp(stubSize, image.fileAlignment);

    for (const PatchSlot& patch : patches) {
        Resource resource;
        resource.type = IdOf(L"MSP");
        resource.name = IdOf(PatchResourceName(patch.slot));
        resource.size = static_cast<std::uint32_t>(std::min<std::uint64_t>(patch.size, 0xFFFFFFFFu));
        resources.push_back(resource);
    }
    const ResourceTreeLayout tree = LayOutResourceTree(resources);
    // Sizes are summed checked: patches of 2^62 bytes each would wrap a
    // plain sum below the limit.
    std::uint64_t contentSize = tree.size;
    bool fits = true;
    for (std::size_t i = 0; i < patches.size() && fits; ++i) {
        fits = AddAligned(contentSize, 0, kResourceAlignment);
        layout.patchOffsets.push_back(sectionOffset + contentSize);
        resources[resources.size() - patches.size() + i].dataRva =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(sectionRva + contentSize, 0xFFFFFFFFu));
        fits = fits && AddAligned(contentSize, patches[i].size, 1);
    }
    std::uint64_t sizeOfImage = sectionRva;
    fits = fits && AddAligned(sizeOfImage, contentSize, 1) && AddAligned(sizeOfImage, 0, image.sectionAlignment);
    if (!fits || sizeOfImage > kLargestImage) {
        problem = L"the wrapper would take " +
                  (fits ? std::to_wstring(sizeOfImage) : L"more than " + std::to_wstring(UINT64_MAX)) +
                  L" bytes in memory; Windows loads no executable image above " + std::to_wstring(kLargestImage) +
                  L" bytes (1904 MB)";
        return kWrapperTooLarge;
    }
    const std::uint64_t rawSize = AlignUp(contentSize, image.fileAlignment);
    layout.sizeOfImage = static_cast<std::uint32_t>(sizeOfImage);
    layout.fileSize = sectionOffset + rawSize;

    const std::vector<std::uint8_t> treeBytes = WriteResourceTree(tree, resources);
    const std::uint64_t headEnd = patches.empty() ? layout.fileSize : layout.patchOffsets.front();
    layout.head.assign(stub, stub + stubSize);
    layout.head.resize(headEnd, 0);
    std::copy(treeBytes.begin(), treeBytes.end(), layout.head.begin() + sectionOffset);

    std::uint8_t* optional = layout.head.data() + image.optionalHeader;
    Put32(optional + kSizeOfImageField, layout.sizeOfImage);
    Put32(optional + kSizeOfInitializedDataField,
          static_cast<std::uint32_t>(image.sizeOfInitializedData + rawSize));
    Put32(optional + kChecksumField, 0);
    std::uint8_t* directory = layout.head.data() + image.dataDirectories + kResourceDirectory * kDataDirectorySize;
    Put32(directory, static_cast<std::uint32_t>(sectionRva));
    Put32(directory + 4, static_cast<std::uint32_t>(contentSize));

    std::copy(kStubResourceSectionName, kStubResourceSectionName + 8,
              layout.head.data() + image.sectionTable + image.resourceSection * kSectionHeaderSize);
    PutSectionHeader(layout.head.data() + image.sectionTable + image.sections.size() * kSectionHeaderSize,
                     kResourceSectionName, static_cast<std::uint32_t>(contentSize), static_cast<std::uint32_t>(sectionRva),
                     static_cast<std::uint32_t>(rawSize), static_cast<std::uint32_t>(sectionOffset),
                     kResourceSectionCharacteristics);
    std::uint8_t* sectionCount = layout.head.data() + image.optionalHeader - 20 + 2;
    Put16(sectionCount, static_cast<std::uint16_t>(image.sections.size() + 1));
    layout.checksumOffset = image.optionalHeader + kChecksumField;
    return kPlanned;
}
