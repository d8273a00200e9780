#include "install/version.h"

#include <climits>
#include <cstdint>

namespace {

// The C locale's white space, the same on every platform.
bool IsBlank(wchar_t c)
{
    return c == L' ' || (c >= L'\t' && c <= L'\r');
}

// wcstol with base 10 and a 32-bit signed result, whatever the width of
// long on this platform: leading blanks, an optional sign, digits up to the
// first other character, saturation at the 32-bit limits.
std::int32_t ConvertComponent(const std::wstring& text)
{
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-'))
        negative = text[i++] == L'-';
    std::int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - L'0');
        if (magnitude > std::int64_t(INT32_MAX) + 1)
            magnitude = std::int64_t(INT32_MAX) + 1;
    }
    if (negative)
        return static_cast<std::int32_t>(-magnitude);
    return magnitude > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(magnitude);
}

// Cuts the text before the first full stop off `rest` and converts it.
// False, leaving `rest` as it was, when there is no full stop.
bool TakeComponent(std::wstring& rest, std::uint16_t& field)
{
    const size_t stop = rest.find(L'.');
    if (stop == std::wstring::npos)
        return false;
    field = static_cast<std::uint16_t>(ConvertComponent(rest.substr(0, stop)));
    rest.erase(0, stop + 1);
    return true;
}

} // namespace

VersionQuad::VersionQuad(long major, long minor, long build, long revision)
    : major(static_cast<std::uint16_t>(major)),
      minor(static_cast<std::uint16_t>(minor)),
      build(static_cast<std::uint16_t>(build)),
      revision(static_cast<std::uint16_t>(revision))
{
}

VersionQuad ParseVersion(std::wstring text)
{
    for (wchar_t& c : text) {
        if (c == L',')
            c = L'.';
    }
    VersionQuad version;
    if (TakeComponent(text, version.major) && TakeComponent(text, version.minor) &&
        TakeComponent(text, version.build))
        version.revision = static_cast<std::uint16_t>(ConvertComponent(text));
    return version;
}

bool VersionHasFourParts(const std::wstring& text)
{
    // The fourth part needs no separator after it; the first three do.
    size_t separators = 0;
    for (wchar_t c : text) {
        if (c == L'.' || c == L',')
            ++separators;
    }
    return separators >= 3;
}

bool VersionEqual(const VersionQuad& a, const VersionQuad& b)
{
    return a.major == b.major && a.minor == b.minor && a.build == b.build && a.revision == b.revision;
}

bool VersionLess(const VersionQuad& a, const VersionQuad& b)
{
    if (a.major != b.major)
        return a.major < b.major;
    if (a.minor != b.minor)
        return a.minor < b.minor;
    if (a.build != b.build)
        return a.build < b.build;
    return a.revision < b.revision;
}

bool VersionAtLeast(const VersionQuad& a, const VersionQuad& b)
{
    return !VersionLess(a, b);
}

std::wstring FormatVersion(const VersionQuad& version)
{
    return std::to_wstring(version.major) + L'.' + std::to_wstring(version.minor) + L'.' +
           std::to_wstring(version.build) + L'.' + std::to_wstring(version.revision);
}
