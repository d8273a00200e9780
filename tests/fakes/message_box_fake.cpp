#include "message_box_fake.h"

#include "messages/message_box_win.h"

#include <windows.h>

namespace {

std::vector<fake_boxes::Box>& Boxes()
{
    static std::vector<fake_boxes::Box> boxes;
    return boxes;
}

} // namespace

namespace fake_boxes {

void Reset() { Boxes().clear(); }
const std::vector<Box>& Shown() { return Boxes(); }

} // namespace fake_boxes

void ShowMessageBox(const std::wstring& text, const std::wstring& caption, unsigned flags)
{
    Boxes().push_back({text, caption, flags});
    // A real box runs a message loop, which may change the last-error value.
    SetLastError(fake_boxes::kClobberedLastError);
}
