#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// SHA-256 (FIPS 180-4) of bytes that go past in pieces of any size, for
// the manifest's hashes: the builders import nothing but the system's
// kernel and C runtime, so they carry their own.

struct Sha256 {
    std::uint32_t state[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                              0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::uint64_t length = 0;  // bytes added so far
    std::uint8_t block[64] = {};  // the bytes of the block not yet full
};

void AddToSha256(Sha256& hash, const std::uint8_t* bytes, std::size_t size);

// The hash of every byte added, as 64 lowercase hex digits (as sha256sum
// prints it). `hash` is taken by value: its bytes may still be added to.
std::wstring FinishSha256(Sha256 hash);
