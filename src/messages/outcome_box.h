#pragma once

#include <string>

// What goes into the box of one outcome message besides its text.
enum MessageArgument : int {
    kNoArgument,
    kLastErrorArgument,    // %d: the thread's last-error value
    kProductNameArgument,  // %s: the name of the product last examined
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

// Puts `value` in place of the first "%s" or "%d" of a catalogue text. The
// result grows as needed: a product name may be over a thousand characters.
std::wstring FillPlaceholder(const std::wstring& format, const std::wstring& value);

// The last-error value as message 300 shows it: a signed 32-bit decimal.
std::wstring FormatErrorCode(unsigned lastError);
