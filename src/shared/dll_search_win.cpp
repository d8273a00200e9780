#include "shared/dll_search_win.h"

#include <cstddef>

// The wrapper asks for elevation and is often started from a folder that
// others can write (a download folder, a shared drop), and build-wrapper.exe
// runs with an administrator's rights as often as not: a DLL planted there,
// or in the current folder, under the name of one the process loads must
// never run inside either.

namespace {

// Windows 8 and later have it, Vista and 7 with update KB2533623: looked up
// at run time, so that the executables still start without it, with the
// system's usual search.
// https://learn.microsoft.com/windows/win32/api/libloaderapi/nf-libloaderapi-setdefaultdlldirectories
using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

} // namespace

void RestrictDllSearchToSystemFolder()
{
    const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefault != nullptr)
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

HMODULE LoadSystemLibrary(const wchar_t* fileName)
{
    HMODULE module = LoadLibraryExW(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr || GetLastError() != ERROR_INVALID_PARAMETER)
        return module;
    // Systems without the search flags: name the file in the system folder outright.
    wchar_t path[MAX_PATH];
    const UINT folderLength = GetSystemDirectoryW(path, MAX_PATH);
    if (folderLength == 0 || folderLength + 1 + lstrlenW(fileName) >= MAX_PATH)
        return nullptr;
    lstrcatW(path, L"\\");
    lstrcatW(path, fileName);
    return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

#if defined(__MINGW32__)
// The load configuration, for the imports the loader resolves before the
// entry point runs: DependentLoadFlags (mingw-w64's headers still call it
// Reserved1) limits the search for them to the system folder, should one not
// be a known DLL on some system; Windows 10 1607 and later read it, older
// systems ignore the field.
// https://learn.microsoft.com/cpp/build/reference/dependentloadflag
// https://learn.microsoft.com/windows/win32/api/winnt/ns-winnt-image_load_config_directory32
// GNU ld links the structure but leaves the image's load configuration entry
// empty; the post-link step of cmake/dll_search.cmake points the entry at it,
// with the size the structure states.
//
// On x86 the structure stops before the SEH handler table at 64 bytes, the
// size Windows XP and earlier require ("For compatibility with Windows XP
// and earlier versions of Windows, the size must be 64 for x86 images",
// https://learn.microsoft.com/windows/win32/debug/pe-format, the load
// configuration structure): later Windows then see no handler table, as for
// an image without a load configuration, and let its handlers run as before.
namespace {

constexpr IMAGE_LOAD_CONFIG_DIRECTORY LoadConfiguration()
{
    IMAGE_LOAD_CONFIG_DIRECTORY configuration = {};
#if defined(_WIN64)
    configuration.Size = sizeof(IMAGE_LOAD_CONFIG_DIRECTORY);
#else
    configuration.Size = offsetof(IMAGE_LOAD_CONFIG_DIRECTORY, SEHandlerTable);
#endif
    configuration.Reserved1 = LOAD_LIBRARY_SEARCH_SYSTEM32;
    return configuration;
}

} // namespace

// The name the loader's tools look for; C linkage keeps it unmangled.
extern "C" const IMAGE_LOAD_CONFIG_DIRECTORY _load_config_used;
const IMAGE_LOAD_CONFIG_DIRECTORY _load_config_used = LoadConfiguration();
#endif
