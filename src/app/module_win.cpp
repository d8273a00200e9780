#include "app/module_win.h"

HINSTANCE g_module = nullptr;
