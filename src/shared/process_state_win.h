#pragma once

#include <windows.h>

// The executable's own module: every resource and message lookup goes through it.
extern HINSTANCE ModuleInstance;
