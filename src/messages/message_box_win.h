#pragma once

#include <string>

// Shows a modal message box with no owner window and waits until it is
// closed. The one place that calls MessageBoxW, so tests can see every box
// with its flags (the window itself does not show MB_TOPMOST under Wine).
void ShowMessageBox(const std::wstring& text, const std::wstring& caption, unsigned flags);
