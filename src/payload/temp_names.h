#pragma once

#include <cstdint>

// The number of the next temporary copy name to try. Unpredictable, so that
// nobody can place a file or link at a name before the wrapper creates it;
// tests link a scripted source instead.
std::uint32_t NextTempNameNumber();
