#include "shared/process_state.h"

RunOptions Options;
std::wstring MessageProductName;
unsigned RestartRequest = 0;
