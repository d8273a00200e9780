#pragma once

#include <cstdint>
#include <string>

// Sets the last write time of the file `file` (UTF-8) to `seconds` and
// `nanoseconds` after 1970, to the file system's full precision (100 ns
// on Windows); false when it cannot.
bool SetLastWriteTime(const std::string& file, std::int64_t seconds, long nanoseconds);
