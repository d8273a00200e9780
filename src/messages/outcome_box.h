#pragma once

#include <string>
#include <vector>

// What goes into the box of one outcome message besides its text.
enum MessageArgument : int {
    kNoArgument,
    kLastErrorArgument,    // %d: the thread's last-error value
    kProductNameArgument,  // %s: the name of the product last examined
    kValuesArgument,       // the values the caller gives, in the text's order
};

struct OutcomeBoxStyle {
    int captionId;  // 0: keep the caption "Error"
    unsigned flags;
    MessageArgument argument;
};

constexpr unsigned kBoxTopmostForeground = 0x50000;  // MB_OK | MB_SETFOREGROUND | MB_TOPMOST
constexpr unsigned kBoxError = kBoxTopmostForeground | 0x10;
constexpr unsigned kBoxInformation = kBoxTopmostForeground | 0x40;
constexpr unsigned kBoxWarning = kBoxTopmostForeground | 0x30;

OutcomeBoxStyle OutcomeBoxStyleOf(int messageId);

// Puts the values in place of the catalogue text's "%s" and "%d", in order;
// a value's own "%s" is text, never a placeholder. The result grows as
// needed: a product name may be over a thousand characters.
std::wstring FillPlaceholders(const std::wstring& format, const std::vector<std::wstring>& values);

// The last-error value as message 300 shows it: a signed 32-bit decimal.
std::wstring FormatErrorCode(unsigned lastError);
