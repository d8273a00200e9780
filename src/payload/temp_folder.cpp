#include "payload/temp_folder.h"

#include <cwchar>

void StripTrailingBackslash(wchar_t* path)
{
    const size_t length = std::wcslen(path);
    if (length == 0 || path[length - 1] != L'\\')
        return;
    if (length == 1 || path[length - 2] != L':')
        path[length - 1] = L'\0';
}

std::wstring TempCopyName(const std::wstring& folder, std::uint32_t number)
{
    std::wstring name = folder;
    if (name.empty() || name.back() != L'\\')
        name += L'\\';
    return name + L"MSP" + std::to_wstring(number);
}
