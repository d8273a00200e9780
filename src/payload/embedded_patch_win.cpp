#include "payload/embedded_patch.h"

#include "shared/process_state_win.h"

#include <windows.h>

bool FindEmbeddedPatch(const std::wstring& resourceName, PatchBytes& patch)
{
    HRSRC resource = FindResourceW(ModuleInstance, resourceName.c_str(), L"MSP");
    if (resource == nullptr)
        return false;
    const DWORD size = SizeofResource(ModuleInstance, resource);
    if (size == 0)
        return false;
    HGLOBAL loaded = LoadResource(ModuleInstance, resource);
    if (loaded == nullptr)
        return false;
    const void* bytes = LockResource(loaded);
    if (bytes == nullptr)
        return false;
    patch.data = static_cast<const std::uint8_t*>(bytes);
    patch.size = size;
    return true;
}
