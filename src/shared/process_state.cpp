#include "shared/process_state.h"

RunOptions Options;
std::wstring MessageProductName;
unsigned RestartRequest = 0;
unsigned FirstInstallerFailure = 0;
bool ProductLeftBehind = false;
std::uint64_t InstallerWaitSpent = 0;
