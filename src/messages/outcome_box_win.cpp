#include "messages/outcome_box_win.h"

#include "messages/catalogue_win.h"
#include "messages/message_box_win.h"
#include "messages/outcome_box.h"
#include "shared/process_state.h"
#include "shared/process_state_win.h"

#include <windows.h>

void ShowOutcomeMessage(int messageId, const std::vector<std::wstring>& values)
{
    if (Options.quiet)
        return;
    // Read before anything else can change it.
    const DWORD lastError = GetLastError();

    const OutcomeBoxStyle style = OutcomeBoxStyleOf(messageId);
    std::wstring text;
    LoadMessage(ModuleInstance, messageId, text, kMessageChars);
    std::wstring caption = L"Error";
    if (style.captionId != 0)
        LoadMessage(ModuleInstance, style.captionId, caption, kMessageChars);

    switch (style.argument) {
    case kLastErrorArgument:
        text = FillPlaceholders(text, {FormatErrorCode(lastError)});
        break;
    case kProductNameArgument:
        text = FillPlaceholders(text, {MessageProductName});
        break;
    case kValuesArgument:
        text = FillPlaceholders(text, values);
        break;
    case kNoArgument:
        break;
    }
    ShowMessageBox(text, caption, style.flags);
}
