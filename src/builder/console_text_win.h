#pragma once

#include <windows.h>

#include <string>

// Writes text with line feeds to standard output or standard error
// (STD_OUTPUT_HANDLE, STD_ERROR_HANDLE): to a console as UTF-16, so that
// every character shows whatever the console's code page; anywhere else
// (a file, a pipe) as UTF-8 with CR LF line ends.
void WriteText(DWORD stream, const std::wstring& text);
