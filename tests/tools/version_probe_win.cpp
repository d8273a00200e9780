// Prints a file's version resource as Windows reads it (GetFileVersionInfoW,
// VerQueryValueW), one "name=value" line each, so an end-to-end test can
// compare what the file's properties would show with res/version.h.
//
//   version_probe PATH
//
// Exit code 0 when the file has a version resource, 1 when it has none,
// 2 for a bad command line.
#include "text_win.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

void Print(const std::wstring& text)
{
    print_out(text + L"\n");
}

std::wstring Quad(DWORD high, DWORD low)
{
    return std::to_wstring(HIWORD(high)) + L"." + std::to_wstring(LOWORD(high)) + L"." +
           std::to_wstring(HIWORD(low)) + L"." + std::to_wstring(LOWORD(low));
}

std::wstring Hex4(unsigned value)
{
    wchar_t text[8];
    swprintf(text, 8, L"%04x", value & 0xffff);
    return text;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2)
        return 2;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(argv[1], &ignored);
    if (size == 0)
        return 1;
    std::vector<unsigned char> data(size);
    if (!GetFileVersionInfoW(argv[1], 0, size, data.data()))
        return 1;

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed) {
        Print(L"signature=" + Hex4(fixed->dwSignature >> 16) + Hex4(fixed->dwSignature));
        Print(L"file_version=" + Quad(fixed->dwFileVersionMS, fixed->dwFileVersionLS));
        Print(L"product_version=" + Quad(fixed->dwProductVersionMS, fixed->dwProductVersionLS));
        Print(L"file_type=" + std::to_wstring(fixed->dwFileType));
    }

    // The strings are found the way the shell finds them: through the
    // first language and code page the Translation value lists.
    WORD* translation = nullptr;
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                        &length) ||
        length < 4)
        return 0;
    const std::wstring block = L"\\StringFileInfo\\" + Hex4(translation[0]) + Hex4(translation[1]) + L"\\";
    Print(L"translation=" + Hex4(translation[0]) + Hex4(translation[1]));
    for (const wchar_t* name : {L"CompanyName", L"FileDescription", L"FileVersion", L"ProductName",
                                L"ProductVersion", L"InternalName"}) {
        wchar_t* value = nullptr;
        if (VerQueryValueW(data.data(), (block + name).c_str(), reinterpret_cast<void**>(&value), &length) &&
            value)
            Print(std::wstring(name) + L"=" + value);
    }
    return 0;
}
