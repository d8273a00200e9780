// Version reading, writing and ordering on arbitrary wide text.

#include "fuzz_input.h"

#include "install/version.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <cwchar>
#include <tuple>

namespace {

bool IsSeparator(wchar_t c)
{
    return c == L'.' || c == L',';
}

bool IsAscii(const std::wstring& text)
{
    for (wchar_t c : text) {
        if (c > 0x7F)
            return false;
    }
    return true;
}

// What one part reads as, from the C library's own conversion: the parts are
// converted as the platform's 32-bit wcstol does, saturating at its limits.
std::uint16_t LibraryConversion(const std::wstring& part)
{
    long value = std::wcstol(part.c_str(), nullptr, 10);
    if (value > INT32_MAX)
        value = INT32_MAX;
    if (value < INT32_MIN)
        value = INT32_MIN;
    return static_cast<std::uint16_t>(static_cast<std::int32_t>(value));
}

// The parts of a version text and how many of them end in a separator.
struct Parts {
    std::wstring text[4];
    int separated = 0;
};

Parts SplitParts(const std::wstring& text)
{
    Parts parts;
    size_t start = 0;
    for (size_t i = 0; i < text.size() && parts.separated < 3; ++i) {
        if (IsSeparator(text[i])) {
            parts.text[parts.separated++] = text.substr(start, i - start);
            start = i + 1;
        }
    }
    parts.text[parts.separated] = text.substr(std::min(start, text.size()));
    return parts;
}

std::tuple<int, int, int, int> Tuple(const VersionQuad& v)
{
    return std::make_tuple(v.major, v.minor, v.build, v.revision);
}

void CheckFormat(const VersionQuad& v)
{
    const std::wstring text = FormatVersion(v);
    int dots = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        FUZZ_CHECK(c == L'.' || (c >= L'0' && c <= L'9'));
        if (c == L'.') {
            ++dots;
            FUZZ_CHECK(i > 0 && text[i - 1] != L'.');
        }
        // No leading zeros: "0" alone, or a part that starts with 1-9.
        if (c == L'0' && (i == 0 || text[i - 1] == L'.'))
            FUZZ_CHECK(i + 1 == text.size() || text[i + 1] == L'.');
    }
    FUZZ_CHECK(dots == 3);
    FUZZ_CHECK(text.back() != L'.');
    FUZZ_CHECK(text.size() <= 4 * 5 + 3);

    const VersionQuad again = ParseVersion(text);
    FUZZ_CHECK(VersionEqual(again, v));
    FUZZ_CHECK(FormatVersion(again) == text);
}

void CheckParse(const std::wstring& text, const VersionQuad& v)
{
    // Commas and full stops are the same separator.
    std::wstring commas = text;
    std::wstring stops = text;
    for (wchar_t& c : commas) {
        if (c == L'.')
            c = L',';
    }
    for (wchar_t& c : stops) {
        if (c == L',')
            c = L'.';
    }
    FUZZ_CHECK(VersionEqual(ParseVersion(commas), v));
    FUZZ_CHECK(VersionEqual(ParseVersion(stops), v));

    // A part counts only when a separator follows it, except the fourth.
    const Parts parts = SplitParts(text);
    if (parts.separated < 1)
        FUZZ_CHECK(v.major == 0);
    if (parts.separated < 2)
        FUZZ_CHECK(v.minor == 0);
    if (parts.separated < 3)
        FUZZ_CHECK(v.build == 0 && v.revision == 0);

    const std::uint16_t fields[4] = {v.major, v.minor, v.build, v.revision};
    const int counted = parts.separated == 3 ? 4 : parts.separated;
    for (int i = 0; i < counted; ++i) {
        if (IsAscii(parts.text[i]))
            FUZZ_CHECK(fields[i] == LibraryConversion(parts.text[i]));
    }
}

void CheckOrder(const VersionQuad& a, const VersionQuad& b)
{
    const bool less = VersionLess(a, b);
    const bool greater = VersionLess(b, a);
    const bool equal = VersionEqual(a, b);
    FUZZ_CHECK(!VersionLess(a, a));
    FUZZ_CHECK(VersionEqual(a, a));
    FUZZ_CHECK(VersionAtLeast(a, a));
    FUZZ_CHECK(!(less && greater));
    FUZZ_CHECK(int(less) + int(greater) + int(equal) == 1);
    FUZZ_CHECK(equal == VersionEqual(b, a));
    FUZZ_CHECK(VersionAtLeast(a, b) == !less);
    FUZZ_CHECK(VersionAtLeast(a, b) == (greater || equal));
    FUZZ_CHECK(less == (Tuple(a) < Tuple(b)));
    FUZZ_CHECK(equal == (Tuple(a) == Tuple(b)));
    FUZZ_CHECK(equal == (FormatVersion(a) == FormatVersion(b)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::wstring> fields = fuzz::Fields(data, size);
    VersionQuad versions[3];
    for (int i = 0; i < 3; ++i) {
        const std::wstring text = fuzz::FieldOrEmpty(fields, i);
        versions[i] = ParseVersion(text);
        CheckParse(text, versions[i]);
        CheckFormat(versions[i]);
    }
    for (const VersionQuad& a : versions) {
        for (const VersionQuad& b : versions)
            CheckOrder(a, b);
    }
    for (const VersionQuad& a : versions) {
        for (const VersionQuad& b : versions) {
            for (const VersionQuad& c : versions) {
                if (VersionLess(a, b) && VersionLess(b, c))
                    FUZZ_CHECK(VersionLess(a, c));
            }
        }
    }

    // The constructor keeps the low 16 bits of whatever it is given.
    if (size >= 4 * sizeof(long)) {
        long raw[4];
        std::memcpy(raw, data, sizeof(raw));
        const VersionQuad v(raw[0], raw[1], raw[2], raw[3]);
        FUZZ_CHECK(v.major == (static_cast<unsigned long>(raw[0]) & 0xFFFF));
        FUZZ_CHECK(v.minor == (static_cast<unsigned long>(raw[1]) & 0xFFFF));
        FUZZ_CHECK(v.build == (static_cast<unsigned long>(raw[2]) & 0xFFFF));
        FUZZ_CHECK(v.revision == (static_cast<unsigned long>(raw[3]) & 0xFFFF));
        CheckFormat(v);
        VersionQuad cleared = v;
        cleared.Clear();
        FUZZ_CHECK(VersionEqual(cleared, VersionQuad()));
        FUZZ_CHECK(FormatVersion(cleared) == L"0.0.0.0");
    }
    return 0;
}
