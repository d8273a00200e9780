#include "shared/process_state_win.h"

HINSTANCE ModuleInstance = nullptr;

std::wstring ModulePath()
{
    // Room for the longest path there is: one call, whatever the path.
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(ModuleInstance, &path[0], static_cast<DWORD>(path.size()));
    path.resize(length < path.size() ? length : 0);
    return path;
}
