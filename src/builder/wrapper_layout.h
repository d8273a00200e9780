#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Where everything goes in a wrapper made from a wrapper without patches
// (the stub) and the patches' sizes. The stub stays as it is, byte for
// byte and address for address, except for the header fields below; a new
// section at the end, read-only data, holds the resource tree (the stub's
// resources, which stay where they are, and the patches as type "MSP",
// names "IDR_MSP_n", language neutral) followed by the patches' bytes.
// The stub's own resource section is renamed, so that tools which look
// for the tree by the section's name find the new one. Rewritten: the
// section count and table, the resource data directory, SizeOfImage,
// SizeOfInitializedData and the checksum (left zero here: it covers the
// patches' bytes).

struct PatchSlot {
    int slot = 0;
    std::uint64_t size = 0;
};

struct WrapperLayout {
    std::vector<std::uint8_t> head;  // the file up to the first patch's bytes
    std::vector<std::uint64_t> patchOffsets;  // where each patch's bytes start, in the order given
    std::uint64_t fileSize = 0;
    std::size_t checksumOffset = 0;
    std::uint32_t sizeOfImage = 0;
    bool x86 = false;  // a 32-bit wrapper
};

// Windows maps no image whose SizeOfImage is above this (0x77000000,
// 1904 MB; see docs/building.md, the size limit).
constexpr std::uint64_t kLargestImage = 0x77000000;
// Above this, a 32-bit process may find no free range of addresses large
// enough to map the x86 wrapper (see docs/building.md).
constexpr std::uint64_t kLargestComfortableX86Image = 0x40000000;

enum PlanResult {
    kPlanned,
    kStubRefused,  // `problem` follows the stub's name: "is not a Windows executable (...)", ...
    kWrapperTooLarge,  // `problem` is a sentence of its own
};

// The layout of the wrapper; else why there is none.
PlanResult PlanWrapper(const std::uint8_t* stub, std::size_t stubSize, const std::vector<PatchSlot>& patches,
                 WrapperLayout& layout, std::wstring& problem);
