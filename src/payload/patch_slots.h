#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A wrapper carries at most this many patches, in resource slots 1 to 15.
constexpr int kPatchSlotCount = 15;

// The resource name of slot n: "IDR_MSP_<n>".
std::wstring PatchResourceName(int slot);

// The bytes of one embedded patch, read-only, where the loaded image holds
// them: patches run to hundreds of megabytes and are never copied in memory.
struct PatchBytes {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};
