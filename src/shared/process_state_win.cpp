#include "shared/process_state_win.h"

HINSTANCE ModuleInstance = nullptr;
