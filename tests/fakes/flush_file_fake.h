#pragma once

#include <windows.h>

#include <functional>

// The flush a test's wrapper makes, instead of the system's: counted, with
// an inspection run at the moment of the flush, and a scripted failure.
namespace fake_flush {

void Reset();
// Runs inside every flush from now on, e.g. to read the target's content then.
void OnFlush(std::function<void(HANDLE file)> hook);
// From now on every flush fails with `error`.
void FailWith(DWORD error);
int Count();

} // namespace fake_flush
