#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Writes a wrapper from one without patches by adding the patches as its
// resources with the system's resource-update calls.

struct PatchResource {
    int slot = 0;
    const std::uint8_t* bytes = nullptr;
    std::size_t size = 0;
};

// Writes `image` (a wrapper without patches) with `patches` added to
// `output`, creating its folder when missing. The wrapper is made under a
// temporary name in the output's folder and renamed at the end, so that a
// failed build leaves nothing at `output` and an existing file there as it
// was. Empty on success, else what failed.
std::wstring WriteWrapper(const std::wstring& output, const std::uint8_t* image, std::size_t imageSize,
                          const std::vector<PatchResource>& patches);
