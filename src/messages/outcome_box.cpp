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
    case IDS_UNINSTALL_SUCCEEDED:
        return {IDS_CAPTION_REMOVED, kBoxInformation, kValuesArgument};
    case IDS_UNINSTALL_NOTHING:
        return {IDS_CAPTION_NOTHING_TO_REMOVE, kBoxInformation, kNoArgument};
    case IDS_UNINSTALL_FAILED:
    case IDS_UNINSTALL_IMPOSSIBLE:
        return {IDS_CAPTION_REMOVAL_ERROR, kBoxError, kValuesArgument};
    default:
        return {0, kBoxTopmostForeground, kNoArgument};
    }
}

std::wstring FillPlaceholders(const std::wstring& format, const std::vector<std::wstring>& values)
{
    std::wstring filled;
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (next < values.size() && format[i] == L'%' && i + 1 < format.size() &&
            (format[i + 1] == L's' || format[i + 1] == L'd')) {
            filled += values[next++];
            ++i;
        } else {
            filled += format[i];
        }
    }
    return filled;
}

std::wstring FormatErrorCode(unsigned lastError)
{
    return std::to_wstring(static_cast<std::int32_t>(lastError));
}
