#include "messages/message_box_win.h"

#include "shared/dll_search_win.h"

#include <windows.h>

void ShowMessageBox(const std::wstring& text, const std::wstring& caption, unsigned flags)
{
    // user32.dll serves this one call: loaded from the system folder when a
    // box is due, so a run without one never maps it.
    static const auto show = [] {
        HMODULE module = LoadSystemLibrary(L"user32.dll");
        return module == nullptr ? nullptr
                                 : reinterpret_cast<decltype(&MessageBoxW)>(
                                       reinterpret_cast<void*>(GetProcAddress(module, "MessageBoxW")));
    }();
    if (show != nullptr)
        show(nullptr, text.c_str(), caption.c_str(), flags);
}
