#pragma once

#include <cstdint>

// Little-endian fields of the file formats read and written here
// (compound files, summary streams, executables), whatever the host's
// byte order.

inline std::uint16_t Get16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t Get32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline void Put16(std::uint8_t* p, std::uint16_t value)
{
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void Put32(std::uint8_t* p, std::uint32_t value)
{
    Put16(p, static_cast<std::uint16_t>(value));
    Put16(p + 2, static_cast<std::uint16_t>(value >> 16));
}
