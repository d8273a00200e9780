#pragma once

#include <string>

// Ordinal comparison with ASCII-only case folding, as _wcsicmp does in the
// C locale: for command-line words and product codes (GUIDs), whose
// letters are ASCII, whatever the user's locale.
bool EqualsIgnoringAsciiCase(const std::wstring& left, const wchar_t* right);
