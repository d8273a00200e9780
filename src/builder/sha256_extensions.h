#pragma once

#include <cstddef>
#include <cstdint>

// Whole blocks hashed with the processor's SHA extensions, for sha256.cpp,
// which calls these only where the processor has them. Their file alone is
// compiled for those instructions (CMakeLists.txt), so that no code that
// runs before the check can contain one.

extern const std::uint32_t kSha256RoundConstants[64];

void HashBlocksWithExtensions(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count);

// Two hashes, `count` blocks each, their rounds in turns.
void HashBlockPairsWithExtensions(std::uint32_t first[8], const std::uint8_t* firstBlocks, std::uint32_t second[8],
                                  const std::uint8_t* secondBlocks, std::size_t count);
