#pragma once

#include <string>

// A fresh name "MSP<n>" in the temporary folder that names no existing file;
// empty when none can be made.
std::wstring MakeTempPatchPath();

// Fills `buffer` with the temporary folder without its trailing backslash,
// creating the folder when it is missing; "c:" when neither works.
void GetTempFolder(wchar_t* buffer, int size);

bool DirectoryExists(const std::wstring& path);
