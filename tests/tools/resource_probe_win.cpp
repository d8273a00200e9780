// Prints a file's resources as Windows finds them in it (loaded as data,
// EnumResourceTypesW, EnumResourceNamesW, EnumResourceLanguagesW), one
// "type name language size digest" line each, the digest an FNV-1a hash of
// the bytes: an end-to-end test compares two executables' resources with
// it, whatever their layout. Named types and names print as they are,
// numbered ones as #N.
//
//   resource_probe PATH
//
// Exit code 0, 1 when the file cannot be loaded, 2 for a bad command line.
#include "text_win.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

std::wstring NameOf(const wchar_t* name)
{
    return IS_INTRESOURCE(name) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(name)) : std::wstring(name);
}

std::wstring Hex16(std::uint64_t value)
{
    wchar_t text[20];
    swprintf(text, 20, L"%016llx", static_cast<unsigned long long>(value));
    return text;
}

BOOL CALLBACK OneLanguage(HMODULE module, const wchar_t* type, const wchar_t* name, WORD language, LONG_PTR)
{
    HRSRC found = FindResourceExW(module, type, name, language);
    HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    const auto* bytes = loaded != nullptr ? static_cast<const std::uint8_t*>(LockResource(loaded)) : nullptr;
    const DWORD size = found != nullptr ? SizeofResource(module, found) : 0;
    std::uint64_t digest = 0xcbf29ce484222325ull;
    for (DWORD i = 0; bytes != nullptr && i < size; ++i)
        digest = (digest ^ bytes[i]) * 0x100000001b3ull;
    print_out(NameOf(type) + L" " + NameOf(name) + L" " + std::to_wstring(language) + L" " + std::to_wstring(size) +
              L" " + (bytes != nullptr ? Hex16(digest) : L"unreadable") + L"\n");
    return TRUE;
}

BOOL CALLBACK OneName(HMODULE module, const wchar_t* type, wchar_t* name, LONG_PTR)
{
    EnumResourceLanguagesW(module, type, name, OneLanguage, 0);
    return TRUE;
}

BOOL CALLBACK OneType(HMODULE module, wchar_t* type, LONG_PTR)
{
    EnumResourceNamesW(module, type, OneName, 0);
    return TRUE;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        print_err(L"usage: resource_probe PATH\n");
        return 2;
    }
    HMODULE module = LoadLibraryExW(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
        print_err(L"resource_probe: cannot load " + std::wstring(argv[1]) + L"\n");
        return 1;
    }
    EnumResourceTypesW(module, OneType, 0);
    FreeLibrary(module);
    return 0;
}
