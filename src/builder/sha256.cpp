#include "builder/sha256.h"

#include "builder/sha256_extensions.h"

#include <algorithm>

#if defined(_MSC_VER)
#include <intrin.h>
#else
#include <cpuid.h>
#endif

const std::uint32_t kSha256RoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

namespace {

std::uint32_t RotateRight(std::uint32_t value, int bits)
{
    return (value >> bits) | (value << (32 - bits));
}

void HashBlock(std::uint32_t state[8], const std::uint8_t* block)
{
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i) {
        w[i] = static_cast<std::uint32_t>(block[4 * i]) << 24 | static_cast<std::uint32_t>(block[4 * i + 1]) << 16 |
               static_cast<std::uint32_t>(block[4 * i + 2]) << 8 | block[4 * i + 3];
    }
    for (int i = 16; i < 64; ++i) {
        const std::uint32_t s0 = RotateRight(w[i - 15], 7) ^ RotateRight(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const std::uint32_t s1 = RotateRight(w[i - 2], 17) ^ RotateRight(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int i = 0; i < 64; ++i) {
        const std::uint32_t s1 = RotateRight(e, 6) ^ RotateRight(e, 11) ^ RotateRight(e, 25);
        const std::uint32_t choice = (e & f) ^ (~e & g);
        const std::uint32_t t1 = h + s1 + choice + kSha256RoundConstants[i] + w[i];
        const std::uint32_t s0 = RotateRight(a, 2) ^ RotateRight(a, 13) ^ RotateRight(a, 22);
        const std::uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
        h = g, g = f, f = e, e = d + t1;
        d = c, c = b, b = a, a = t1 + s0 + majority;
    }
    state[0] += a, state[1] += b, state[2] += c, state[3] += d;
    state[4] += e, state[5] += f, state[6] += g, state[7] += h;
}

void HashBlocks(Sha256Engine engine, std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count)
{
    if (engine == kSha256Extensions) {
        HashBlocksWithExtensions(state, blocks, count);
        return;
    }
    for (std::size_t i = 0; i < count; ++i)
        HashBlock(state, blocks + 64 * i);
}

// The block `hash` holds in part completed from `bytes`, and hashed once
// full; what is left of `bytes` then starts a block.
void FillBlock(Sha256& hash, const std::uint8_t*& bytes, std::size_t& size)
{
    const std::size_t filled = static_cast<std::size_t>(hash.length % 64);
    if (filled == 0)
        return;
    const std::size_t piece = std::min(size, 64 - filled);
    std::copy(bytes, bytes + piece, hash.block + filled);
    hash.length += piece;
    bytes += piece, size -= piece;
    if (hash.length % 64 == 0)
        HashBlocks(hash.engine, hash.state, hash.block, 1);
}

// `bytes` at the start of a block: their whole blocks hashed, the rest
// kept.
void AddFromBlockStart(Sha256& hash, const std::uint8_t* bytes, std::size_t size)
{
    const std::size_t whole = size / 64;
    HashBlocks(hash.engine, hash.state, bytes, whole);
    std::copy(bytes + 64 * whole, bytes + size, hash.block);
    hash.length += size;
}

} // namespace

bool HasShaExtensions()
{
    // CPUID leaf 1: SSSE3 (ECX bit 9) and SSE4.1 (ECX bit 19); leaf 7,
    // subleaf 0: SHA (EBX bit 29). MSVC's intrinsics:
    // learn.microsoft.com, "__cpuid, __cpuidex".
    static const bool present = [] {
        unsigned int ecx1 = 0, ebx7 = 0;
#if defined(_MSC_VER)
        int registers[4];
        __cpuid(registers, 0);
        if (registers[0] < 7)
            return false;
        __cpuid(registers, 1);
        ecx1 = static_cast<unsigned int>(registers[2]);
        __cpuidex(registers, 7, 0);
        ebx7 = static_cast<unsigned int>(registers[1]);
#else
        unsigned int eax, ebx, ecx, edx;
        if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
            return false;
        ecx1 = ecx;
        if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx))
            return false;
        ebx7 = ebx;
#endif
        return (ecx1 >> 9 & 1) && (ecx1 >> 19 & 1) && (ebx7 >> 29 & 1);
    }();
    return present;
}

void AddToSha256(Sha256& hash, const std::uint8_t* bytes, std::size_t size)
{
    FillBlock(hash, bytes, size);
    AddFromBlockStart(hash, bytes, size);
}

void AddToSha256Pair(Sha256& first, Sha256& second, const std::uint8_t* bytes, std::size_t size)
{
    const std::uint8_t *firstBytes = bytes, *secondBytes = bytes;
    std::size_t firstSize = size, secondSize = size;
    FillBlock(first, firstBytes, firstSize);
    FillBlock(second, secondBytes, secondSize);
    if (first.engine == kSha256Extensions) {
        const std::size_t pairs = std::min(firstSize, secondSize) / 64;
        HashBlockPairsWithExtensions(first.state, firstBytes, second.state, secondBytes, pairs);
        first.length += 64 * pairs, second.length += 64 * pairs;
        firstBytes += 64 * pairs, secondBytes += 64 * pairs;
        firstSize -= 64 * pairs, secondSize -= 64 * pairs;
    }
    AddFromBlockStart(first, firstBytes, firstSize);
    AddFromBlockStart(second, secondBytes, secondSize);
}

std::wstring FinishSha256(Sha256 hash)
{
    // A one bit, zeros up to 8 bytes before a block's end, then the length
    // in bits, most significant byte first.
    const std::uint64_t bits = hash.length * 8;
    const std::uint8_t one = 0x80, zero = 0;
    AddToSha256(hash, &one, 1);
    while (hash.length % 64 != 56)
        AddToSha256(hash, &zero, 1);
    std::uint8_t length[8];
    for (int i = 0; i < 8; ++i)
        length[i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
    AddToSha256(hash, length, sizeof length);
    const wchar_t digits[] = L"0123456789abcdef";
    std::wstring text;
    for (std::uint32_t word : hash.state) {
        for (int shift = 28; shift >= 0; shift -= 4)
            text += digits[(word >> shift) & 0xF];
    }
    return text;
}
