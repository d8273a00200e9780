#pragma once

// Removes one trailing backslash unless it belongs to a drive root:
// C:\Temp\ -> C:\Temp, C:\ stays, a lone backslash becomes empty.
void StripTrailingBackslash(wchar_t* path);
