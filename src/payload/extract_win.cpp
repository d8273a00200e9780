#include "payload/extract_win.h"

#include "payload/extract.h"
#include "shared/process_state_win.h"

#include <windows.h>

#include <cstdio>

namespace {

// The bytes of an embedded patch, straight from the loaded image.
bool LocatePatch(const std::wstring& resourceName, const void*& bytes, DWORD& size)
{
    HRSRC resource = FindResourceW(ModuleInstance, resourceName.c_str(), L"MSP");
    if (resource == nullptr)
        return false;
    size = SizeofResource(ModuleInstance, resource);
    if (size == 0)
        return false;
    HGLOBAL loaded = LoadResource(ModuleInstance, resource);
    if (loaded == nullptr)
        return false;
    bytes = LockResource(loaded);
    return bytes != nullptr;
}

} // namespace

bool HasEmbeddedPatch(const std::wstring& resourceName)
{
    const void* bytes = nullptr;
    DWORD size = 0;
    return LocatePatch(resourceName, bytes, size);
}

bool ExtractPatch(std::wstring path, const std::wstring& resourceName, int index)
{
    if (!RebuildExtractPath(path, index, path))
        return false;
    const void* bytes = nullptr;
    DWORD size = 0;
    if (!LocatePatch(resourceName, bytes, size))
        return false;

    FILE* stream = nullptr;
    if (_wfopen_s(&stream, path.c_str(), L"wb") != 0 || stream == nullptr)
        return false;
    // Straight from the mapped image in one call: patches run to hundreds of
    // megabytes and are never copied in memory.
    const size_t written = fwrite(bytes, 1, size, stream);
    fclose(stream);
    return written == size;
}
