#pragma once

#include <cstdint>
#include <string>

// A four-part version number, each part 16 bits: major.minor.build.revision.
struct VersionQuad {
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    std::uint16_t build = 0;
    std::uint16_t revision = 0;

    VersionQuad() = default;
    // Keeps the low 16 bits of each value.
    VersionQuad(long major, long minor, long build, long revision);
    void Clear() { *this = VersionQuad(); }
};

// Reads a dotted (or comma-separated) version. A part counts only when a
// separator follows it, except the fourth: "3.2.10" reads as 3.2.0.0.
VersionQuad ParseVersion(std::wstring text);

// True when ParseVersion takes all four parts from the text as written,
// false when it reads a part as 0 for want of a separator after it.
bool VersionHasFourParts(const std::wstring& text);

bool VersionEqual(const VersionQuad& a, const VersionQuad& b);
bool VersionLess(const VersionQuad& a, const VersionQuad& b);
bool VersionAtLeast(const VersionQuad& a, const VersionQuad& b);

// "major.minor.build.revision" in decimal.
std::wstring FormatVersion(const VersionQuad& version);
