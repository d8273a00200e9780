#pragma once

#include <cstdint>
#include <string>

// Removes one trailing backslash unless it belongs to a drive root:
// C:\Temp\ -> C:\Temp, C:\ stays, a lone backslash becomes empty.
void StripTrailingBackslash(wchar_t* path);

// The name of a temporary patch copy: "<folder>\MSP<number>", without an
// extension, so that the installer and the wrapper name it alike.
std::wstring TempCopyName(const std::wstring& folder, std::uint32_t number);

// Who may open a temporary patch copy: SYSTEM and Administrators, full
// access each, nobody else, and no inherited entries. The wrapper always
// runs elevated, and the installer reads the copy as SYSTEM.
constexpr wchar_t kTempCopySecurity[] = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)";
