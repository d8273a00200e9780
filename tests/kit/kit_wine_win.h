#pragma once

#include <windows.h>

#include <string>

#include "kit_context_win.h"

// Wine's ntdll exports wine_get_version; Windows' does not.
inline bool UnderWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// A case that Wine cannot even set up: skipped, saying WHY.
inline Findings NotPossibleUnderWine(const wchar_t* why)
{
    Findings found;
    found.skipped = std::wstring(L"not possible under Wine: ") + why;
    return found;
}
