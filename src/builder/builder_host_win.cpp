#include "builder/builder_host.h"

#include "builder/console_text_win.h"

#include <windows.h>

void PrintOut(const std::wstring& text)
{
    WriteText(STD_OUTPUT_HANDLE, text);
}

void PrintError(const std::wstring& text)
{
    WriteText(STD_ERROR_HANDLE, text);
}

bool FindStub(const std::wstring& arch, const std::uint8_t*& bytes, std::size_t& size)
{
    HRSRC resource = FindResourceW(nullptr, arch == L"x86" ? L"WRAPPER_X86" : L"WRAPPER_X64", RT_RCDATA);
    HGLOBAL loaded = resource != nullptr ? LoadResource(nullptr, resource) : nullptr;
    bytes = loaded != nullptr ? static_cast<const std::uint8_t*>(LockResource(loaded)) : nullptr;
    size = resource != nullptr ? SizeofResource(nullptr, resource) : 0;
    return bytes != nullptr && size > 0;
}

std::wstring SigningRefusal(const BuilderOptions& options)
{
    if (options.firstSigningOption.empty())
        return std::wstring();
    return options.firstSigningOption + L" is not available here: sign the finished wrapper with signtool";
}

std::wstring SignIntoPlace(FileHandle, const std::wstring&, const BuilderOptions& options, FileDigest*)
{
    return SigningRefusal(options);
}
