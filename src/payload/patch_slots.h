#pragma once

#include <string>

// A wrapper carries at most this many patches, in resource slots 1 to 15.
constexpr int kPatchSlotCount = 15;

// The resource name of slot n: "IDR_MSP_<n>".
std::wstring PatchResourceName(int slot);
