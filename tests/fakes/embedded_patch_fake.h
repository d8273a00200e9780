#pragma once

#include <cstdint>
#include <vector>

// The patches a test's wrapper carries, instead of its resources: any bytes
// per slot, so tests can embed real compound files with the targeting data
// each case needs.
namespace fake_patches {

void Reset();
void Set(int slot, const std::vector<std::uint8_t>& bytes);

} // namespace fake_patches
