#pragma once

#include <cstdint>

// What waiting for a busy installer needs from the system: whether another
// installation holds the installer, a clock and a pause. A leaf beside
// msi_api.h; tests link a scripted fake with a clock of its own, so their
// waits take no real time.
namespace installer_busy {

// True while another installation holds the installer's execution mutex.
// A free mutex is owned for an instant (the look is a wait that takes it)
// and released at once, before anything else; false whenever that cannot
// be told.
bool ExecutionMutexHeld();

// Milliseconds of a clock that only moves forwards; it wraps around after
// 2^32, so only differences mean something.
std::uint32_t Milliseconds();

void Pause(std::uint32_t milliseconds);

} // namespace installer_busy
