#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A string-table resource holds its strings in blocks of sixteen: string
// id n lives in block n / 16 + 1 at position n % 16.
constexpr int kStringsPerBlock = 16;

inline int StringBlockOf(int id) { return id / kStringsPerBlock + 1; }

// String `position` of a block: each string is a 16-bit length followed by
// that many UTF-16 units. Empty when the block ends early.
std::wstring StringFromBlock(const std::uint16_t* block, std::size_t units, int position);
