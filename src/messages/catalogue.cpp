#include "messages/catalogue.h"

std::wstring StringFromBlock(const std::uint16_t* block, std::size_t units, int position)
{
    std::size_t at = 0;
    for (int i = 0; i < position; ++i) {
        if (at >= units)
            return std::wstring();
        at += 1 + block[at];
    }
    if (at >= units)
        return std::wstring();
    const std::size_t length = block[at];
    if (length > units - at - 1)
        return std::wstring();
    std::wstring text;
    text.reserve(length);
    for (std::size_t i = 0; i < length; ++i)
        text += static_cast<wchar_t>(block[at + 1 + i]);
    return text;
}
