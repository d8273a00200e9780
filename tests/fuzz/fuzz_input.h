#pragma once

// Turns a fuzzer's bytes into the wide-text fields the portable code takes.
//
// Fields are separated by raw line feeds so that seeds stay readable text.
// Each field is decoded leniently as UTF-8 without validity checks: ASCII
// bytes stand for themselves, two- and three-byte sequences give any value
// up to 0xFFFF (surrogates and overlong forms included, so an encoded line
// feed such as C0 8A still reaches a field), and any other byte stands for
// its own Latin-1 value. Values stay within 16 bits, as on Windows, although
// wchar_t is 32 bits here.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// Aborts on a broken rule so that libFuzzer keeps the input as a crash.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace fuzz {

inline std::wstring DecodeUnits(const std::uint8_t* data, std::size_t size)
{
    std::wstring text;
    text.reserve(size);
    std::size_t i = 0;
    while (i < size) {
        const std::uint8_t b = data[i];
        if (b < 0x80) {
            text += static_cast<wchar_t>(b);
            i += 1;
        } else if (b >= 0xC0 && b < 0xE0 && i + 1 < size) {
            text += static_cast<wchar_t>(((b & 0x1F) << 6) | (data[i + 1] & 0x3F));
            i += 2;
        } else if (b >= 0xE0 && b < 0xF0 && i + 2 < size) {
            text += static_cast<wchar_t>(((b & 0x0F) << 12) | ((data[i + 1] & 0x3F) << 6) |
                                         (data[i + 2] & 0x3F));
            i += 3;
        } else {
            text += static_cast<wchar_t>(b);
            i += 1;
        }
    }
    return text;
}

// The input cut at raw line feeds; an empty input gives no fields.
inline std::vector<std::wstring> Fields(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::wstring> fields;
    if (size == 0)
        return fields;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= size; ++i) {
        if (i == size || data[i] == '\n') {
            fields.push_back(DecodeUnits(data + start, i - start));
            start = i + 1;
        }
    }
    return fields;
}

inline std::wstring FieldOrEmpty(const std::vector<std::wstring>& fields, std::size_t n)
{
    return n < fields.size() ? fields[n] : std::wstring();
}

// The runs of ASCII digits in `text` as numbers, wrapping modulo 2^32 so
// that every 32-bit value can be written.
inline std::vector<std::uint32_t> Numbers(const std::wstring& text)
{
    std::vector<std::uint32_t> numbers;
    bool inNumber = false;
    for (wchar_t c : text) {
        if (c >= L'0' && c <= L'9') {
            if (!inNumber)
                numbers.push_back(0);
            numbers.back() = numbers.back() * 10u + static_cast<std::uint32_t>(c - L'0');
            inNumber = true;
        } else {
            inNumber = false;
        }
    }
    return numbers;
}

inline std::uint32_t NumberOrZero(const std::vector<std::uint32_t>& numbers, std::size_t n)
{
    return n < numbers.size() ? numbers[n] : 0;
}

inline bool StartsWith(const std::wstring& text, const std::wstring& prefix)
{
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

inline bool EndsWith(const std::wstring& text, const std::wstring& suffix)
{
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

} // namespace fuzz
