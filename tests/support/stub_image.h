#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A small wrapper without patches, made in memory for tests of the writer:
// headers, a code section, a resource section (a manifest, #24 #1, and a
// named resource, TEXT NOTE, in two languages; the manifest ends exactly
// where the section's raw data does) and a relocation section after it,
// as the linker lays out the real wrappers, with 512-byte file and
// 4096-byte section alignment. 2048 bytes.

struct StubOptions {
    bool x86 = false;
    std::size_t peHeader = 0x40;  // at 0x80 the section table fills the headers
};

std::vector<std::uint8_t> StubImage(const StubOptions& options = StubOptions());

// Where StubImage puts what the tests damage.
constexpr std::size_t kStubResourceSectionOffset = 0x400;  // the resource section's raw data
constexpr std::uint32_t kStubResourceRva = 0x2000;
