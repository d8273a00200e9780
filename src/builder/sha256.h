#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// SHA-256 (FIPS 180-4) of bytes that go past in pieces of any size, for
// the manifest's hashes: the builders import nothing but the system's
// kernel and C runtime, so they carry their own, which uses the
// processor's SHA extensions where it has them.

// How whole blocks are hashed.
enum Sha256Engine {
    kSha256Portable,
    kSha256Extensions,  // only where HasShaExtensions()
};

// Whether this processor has the SHA extensions and the SSE4.1 they are
// used with; asked once.
bool HasShaExtensions();

struct Sha256 {
    std::uint32_t state[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                              0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::uint64_t length = 0;  // bytes added so far
    std::uint8_t block[64] = {};  // the bytes of the block not yet full
    Sha256Engine engine = HasShaExtensions() ? kSha256Extensions : kSha256Portable;
};

void AddToSha256(Sha256& hash, const std::uint8_t* bytes, std::size_t size);

// The same bytes added to two hashes at once, which with the extensions
// costs little more than adding them to one: the rounds of one hash fill
// the processor while those of the other wait. The engine is `first`'s.
void AddToSha256Pair(Sha256& first, Sha256& second, const std::uint8_t* bytes, std::size_t size);

// The hash of every byte added, as 64 lowercase hex digits (as sha256sum
// prints it). `hash` is taken by value: its bytes may still be added to.
std::wstring FinishSha256(Sha256 hash);
