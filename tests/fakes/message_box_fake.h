#pragma once

#include <string>
#include <vector>

// The boxes a test's code showed, in order, instead of real windows.
namespace fake_boxes {

// What showing a box leaves as the thread's last-error value.
constexpr unsigned kClobberedLastError = 0xB0C5;

struct Box {
    std::wstring text;
    std::wstring caption;
    unsigned flags;
};

void Reset();
const std::vector<Box>& Shown();

} // namespace fake_boxes
