#include "app/app_state.h"

RunOptions g_options;
std::wstring MessageProductName;
unsigned RestartRequest = 0;
