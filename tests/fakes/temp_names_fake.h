#pragma once

#include <cstdint>
#include <vector>

// The numbers of the temporary copy names a test's wrapper tries, instead
// of random ones: the scripted numbers in order, then 1, 2, 3, ...
namespace fake_names {

void Reset();
void Script(const std::vector<std::uint32_t>& numbers);
// How many numbers the wrapper asked for since the last Reset.
int Drawn();

} // namespace fake_names
