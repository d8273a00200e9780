#pragma once

#include <cstddef>
#include <cstdint>

// The header checksum of an executable, computed while its bytes go past
// in pieces of any size: the 16-bit one's-complement sum of the file (its
// checksum field read as zero) plus the file's length, as the loader and
// the signing tools compute it.

struct PeChecksum {
    std::uint64_t sum = 0;
    bool odd = false;  // the bytes so far end half-way through a word
    std::uint8_t low = 0;  // that word's first byte
};

void AddToChecksum(PeChecksum& checksum, const std::uint8_t* bytes, std::size_t size);

std::uint32_t FinishChecksum(const PeChecksum& checksum, std::uint64_t fileSize);
