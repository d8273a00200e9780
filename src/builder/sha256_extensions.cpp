#include "builder/sha256_extensions.h"

#include <immintrin.h>

namespace {

// The state as the rounds instruction takes it: A, B, E, F in one
// register, C, D, G, H in the other (the highest lane first).
struct Lanes {
    __m128i abef;
    __m128i cdgh;
};

// The sixteen words of the message schedule being worked on.
struct Words {
    __m128i w0, w1, w2, w3;
};

__m128i Load(const void* at)
{
    return _mm_loadu_si128(static_cast<const __m128i*>(at));
}

Lanes LoadState(const std::uint32_t state[8])
{
    const __m128i cdab = _mm_shuffle_epi32(Load(state), 0xB1);
    const __m128i efgh = _mm_shuffle_epi32(Load(state + 4), 0x1B);
    return {_mm_alignr_epi8(cdab, efgh, 8), _mm_blend_epi16(efgh, cdab, 0xF0)};
}

void StoreState(const Lanes& lanes, std::uint32_t state[8])
{
    const __m128i feba = _mm_shuffle_epi32(lanes.abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(lanes.cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

// The block's words, big-endian in it.
Words LoadBlock(const std::uint8_t* block)
{
    const __m128i bigEndian = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
    return {_mm_shuffle_epi8(Load(block), bigEndian), _mm_shuffle_epi8(Load(block + 16), bigEndian),
            _mm_shuffle_epi8(Load(block + 32), bigEndian), _mm_shuffle_epi8(Load(block + 48), bigEndian)};
}

// Rounds 4 * group to 4 * group + 3 with the words w0, which then become
// the words sixteen rounds on. The last groups' next words go unused:
// computing them costs less than the test that would skip them.
void FourRounds(Lanes& lanes, __m128i& w0, __m128i w1, __m128i w2, __m128i w3, int group)
{
    const __m128i words = _mm_add_epi32(w0, Load(kSha256RoundConstants + 4 * group));
    lanes.cdgh = _mm_sha256rnds2_epu32(lanes.cdgh, lanes.abef, words);
    lanes.abef = _mm_sha256rnds2_epu32(lanes.abef, lanes.cdgh, _mm_shuffle_epi32(words, 0x0E));
    w0 = _mm_sha256msg2_epu32(_mm_add_epi32(_mm_sha256msg1_epu32(w0, w1), _mm_alignr_epi8(w3, w2, 4)), w3);
}

void SixteenRounds(Lanes& lanes, Words& words, int group)
{
    FourRounds(lanes, words.w0, words.w1, words.w2, words.w3, group);
    FourRounds(lanes, words.w1, words.w2, words.w3, words.w0, group + 1);
    FourRounds(lanes, words.w2, words.w3, words.w0, words.w1, group + 2);
    FourRounds(lanes, words.w3, words.w0, words.w1, words.w2, group + 3);
}

void AddState(Lanes& lanes, const Lanes& before)
{
    lanes.abef = _mm_add_epi32(lanes.abef, before.abef);
    lanes.cdgh = _mm_add_epi32(lanes.cdgh, before.cdgh);
}

} // namespace

void HashBlocksWithExtensions(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count)
{
    Lanes lanes = LoadState(state);
    for (; count > 0; --count, blocks += 64) {
        const Lanes before = lanes;
        Words words = LoadBlock(blocks);
        for (int group = 0; group < 16; group += 4)
            SixteenRounds(lanes, words, group);
        AddState(lanes, before);
    }
    StoreState(lanes, state);
}

void HashBlockPairsWithExtensions(std::uint32_t first[8], const std::uint8_t* firstBlocks, std::uint32_t second[8],
                                  const std::uint8_t* secondBlocks, std::size_t count)
{
    Lanes a = LoadState(first), b = LoadState(second);
    for (; count > 0; --count, firstBlocks += 64, secondBlocks += 64) {
        const Lanes beforeA = a, beforeB = b;
        Words wordsA = LoadBlock(firstBlocks), wordsB = LoadBlock(secondBlocks);
        for (int group = 0; group < 16; group += 4) {
            SixteenRounds(a, wordsA, group);
            SixteenRounds(b, wordsB, group);
        }
        AddState(a, beforeA);
        AddState(b, beforeB);
    }
    StoreState(a, first);
    StoreState(b, second);
}
