#pragma once

#include <windows.h>

// Restricts every later load by name, this process's own and those the
// system's DLLs make, to the system folder. Called first in the entry point.
void RestrictDllSearchToSystemFolder();

// A DLL of the system folder, by file name; nullptr when it cannot be loaded.
HMODULE LoadSystemLibrary(const wchar_t* fileName);
