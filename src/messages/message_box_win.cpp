#include "messages/message_box_win.h"

#include <windows.h>

void ShowMessageBox(const std::wstring& text, const std::wstring& caption, unsigned flags)
{
    MessageBoxW(nullptr, text.c_str(), caption.c_str(), flags);
}
