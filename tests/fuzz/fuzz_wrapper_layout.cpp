// The writer's reading of a wrapper without patches (its headers and its
// resource tree) and the layout it plans, on damaged stubs: any bytes laid
// over a small sound stub. ASan stops any read outside the stub.
//
// Input: a byte whose lowest bit chooses the x86 stub, two bytes (little
// endian) giving where in the stub the rest of the input goes, then those
// bytes, which may run past the stub's end. The seeds are the two sound
// stubs and a few damaged ones.

#include "fuzz_input.h"

#include "builder/pe_image.h"
#include "builder/resource_tree.h"
#include "builder/wrapper_layout.h"
#include "shared/little_endian.h"
#include "support/stub_image.h"

#include <algorithm>

namespace {

void CheckLayout(const std::vector<std::uint8_t>& stub, const std::vector<PatchSlot>& patches)
{
    WrapperLayout layout;
    std::wstring problem;
    const PlanResult result = PlanWrapper(stub.data(), stub.size(), patches, layout, problem);
    FUZZ_CHECK((result == kPlanned) == problem.empty());
    if (result != kPlanned)
        return;
    PeImage image;
    FUZZ_CHECK(ReadPeImage(stub.data(), stub.size(), image, problem));
    FUZZ_CHECK(layout.sizeOfImage <= kLargestImage && layout.sizeOfImage % image.sectionAlignment == 0);
    FUZZ_CHECK(layout.fileSize % image.fileAlignment == 0 && layout.fileSize > stub.size());
    FUZZ_CHECK(layout.head.size() == (patches.empty() ? layout.fileSize : layout.patchOffsets.front()));
    // Past the headers, the stub is kept byte for byte.
    FUZZ_CHECK(std::equal(stub.begin() + image.sizeOfHeaders, stub.end(), layout.head.begin() + image.sizeOfHeaders));

    // The new tree names every resource of the stub and every patch.
    const std::uint8_t* section = layout.head.data() + image.sectionTable + image.sections.size() * kSectionHeaderSize;
    const std::uint32_t rva = Get32(section + 12), raw = Get32(section + 20);
    FUZZ_CHECK(raw == AlignUp(stub.size(), image.fileAlignment));
    std::vector<Resource> before, after;
    const PeSection& old = image.sections[image.resourceSection];
    FUZZ_CHECK(ReadResourceTree(stub.data() + old.rawOffset, old.rawSize, old.virtualAddress, image.resourceRva,
                                before));
    // Shared subtrees cannot make it list more than the section has room for.
    FUZZ_CHECK(before.size() <= old.rawSize / 8);
    FUZZ_CHECK(ReadResourceTree(layout.head.data() + raw, layout.head.size() - raw, rva, rva, after));
    FUZZ_CHECK(after.size() == before.size() + patches.size());
    std::vector<Resource> added;
    for (const Resource& resource : after) {
        if (resource.type.name == u"MSP")
            added.push_back(resource);
    }
    FUZZ_CHECK(added.size() == patches.size());
    for (std::size_t i = 0; i < patches.size(); ++i) {
        FUZZ_CHECK(added[i].size == patches[i].size);
        FUZZ_CHECK(raw + (added[i].dataRva - rva) == layout.patchOffsets[i]);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    StubOptions options;
    options.x86 = (data[0] & 1) != 0;
    std::vector<std::uint8_t> stub = StubImage(options);
    const std::size_t at = Get16(data + 1) % stub.size();
    if (at + size - 3 > stub.size())
        stub.resize(at + size - 3);
    std::copy(data + 3, data + size, stub.begin() + at);
    // Exactly as long as its bytes, so that ASan sees the end.
    stub.shrink_to_fit();
    CheckLayout(stub, {});
    // Slots whose names sort as their numbers do, so that the tree lists
    // them first and in this order.
    CheckLayout(stub, {{1, 100}, {12, 1}, {15, 4096}});
    return 0;
}
