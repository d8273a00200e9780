#pragma once

#include <windows.h>

#include <string>

#include "kit_context_win.h"

// Wine's ntdll exports wine_get_version; Windows' does not.
inline bool UnderWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Whether Wine may be the reason a case shows nothing: under Wine, unless
// the environment has WRAPPER_KIT_AS_WINDOWS, the seam by which the kit's
// own test shows every such skip turning into the failure it is on Windows.
inline bool WineExcusesSkips()
{
    return UnderWine() && GetEnvironmentVariableW(L"WRAPPER_KIT_AS_WINDOWS", nullptr, 0) == 0;
}

// A case that Wine cannot even set up: skipped under Wine, saying WHY.
inline Findings NotPossibleUnderWine(const wchar_t* why)
{
    Findings found;
    found.WineCannotShow(why);
    return found;
}
