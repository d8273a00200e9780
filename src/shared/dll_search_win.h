#pragma once

#include <windows.h>

// What this process loads by name comes from the system folder only: a DLL
// planted beside the executable (a download folder, a shared drop) or in
// the current folder must never run inside a program that elevates.

// Called first in the entry point: every later load by name, ours and those
// the system DLLs make on their own, searches the system folder only. A
// system without SetDefaultDllDirectories keeps its usual search.
void RestrictDllSearchToSystemFolder();

// A DLL of the system folder, by file name; nullptr when it cannot be loaded.
HMODULE LoadSystemLibrary(const wchar_t* fileName);
