#include "payload/ansi_text.h"

namespace {

constexpr wchar_t kReplacement = 0xFFFD;

// 0x80 to 0x9F of code page 1252; its five unassigned bytes are replaced.
constexpr wchar_t kWindows1252[32] = {
    0x20AC, kReplacement, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030,       0x0160, 0x2039, 0x0152, kReplacement, 0x017D, kReplacement,
    kReplacement, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122,       0x0161, 0x203A, 0x0153, kReplacement, 0x017E, 0x0178,
};

wchar_t WidenByte(unsigned char byte, unsigned codePage)
{
    if (byte < 0x80)
        return static_cast<wchar_t>(byte);
    if (codePage == 1252 || codePage == 0)
        return byte < 0xA0 ? kWindows1252[byte - 0x80] : static_cast<wchar_t>(byte);
    if (codePage == 28591)
        return static_cast<wchar_t>(byte);
    return kReplacement;
}

} // namespace

std::wstring WidenAnsiText(const std::string& bytes, unsigned codePage)
{
    std::wstring text;
    text.reserve(bytes.size());
    for (char byte : bytes)
        text += WidenByte(static_cast<unsigned char>(byte), codePage);
    return text;
}
