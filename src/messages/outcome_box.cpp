#include "messages/outcome_box.h"

#include "messages.h"

#include <cstdint>

OutcomeBoxStyle OutcomeBoxStyleOf(int messageId)
{
    switch (messageId) {
    case IDS_INSTALL_FAILED:
        return {IDS_CAPTION_ERROR, kBoxError, kLastErrorArgument};
    case IDS_INSTALL_SUCCEEDED:
        return {IDS_CAPTION_SUCCESS, kBoxInformation, kProductNameArgument};
    case IDS_UP_TO_DATE:
        // Nothing to install is reported as an error, under its own caption.
        return {IDS_CAPTION_UNNECESSARY, kBoxError, kProductNameArgument};
    case IDS_WRONG_VERSION:
        return {IDS_CAPTION_ERROR, kBoxError, kProductNameArgument};
    case IDS_NO_PRODUCT:
    case IDS_BAD_COMMAND_LINE:
    case IDS_NO_PATCH_LIST:
    case IDS_BLOCKED:
        return {IDS_CAPTION_ERROR, kBoxError, kNoArgument};
    default:
        return {0, kBoxTopmostForeground, kNoArgument};
    }
}

std::wstring FillPlaceholder(const std::wstring& format, const std::wstring& value)
{
    for (size_t i = 0; i + 1 < format.size(); ++i) {
        if (format[i] == L'%' && (format[i + 1] == L's' || format[i + 1] == L'd'))
            return format.substr(0, i) + value + format.substr(i + 2);
    }
    return format;
}

std::wstring FormatErrorCode(unsigned lastError)
{
    return std::to_wstring(static_cast<std::int32_t>(lastError));
}
