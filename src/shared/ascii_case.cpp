#include "shared/ascii_case.h"

namespace {

wchar_t FoldAscii(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

} // namespace

bool EqualsIgnoringAsciiCase(const std::wstring& left, const wchar_t* right)
{
    size_t i = 0;
    for (; i < left.size() && right[i] != L'\0'; ++i) {
        if (FoldAscii(left[i]) != FoldAscii(right[i]))
            return false;
    }
    return i == left.size() && right[i] == L'\0';
}
