#pragma once

#include <windows.h>

#include <string>

// The executable's own module: every resource and message lookup goes through it.
extern HINSTANCE ModuleInstance;

// The executable's own file, however long its path.
std::wstring ModulePath();
