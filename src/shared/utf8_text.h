#pragma once

#include <cstddef>
#include <string>

// UTF-8 for what the builders print and, on Linux, for the file names they
// are given. A byte that is no part of UTF-8 stands for itself as U+DC80 to
// U+DCFF (a lone low surrogate, which no valid text holds) and goes back to
// the same byte, so any file name survives the round trip.

std::wstring WideFromUtf8(const std::string& bytes);
std::string Utf8FromWide(const std::wstring& text);

// UTF-8 of text that came from Windows, such as a product name in the log:
// valid output whatever the text holds, a lone surrogate becoming U+FFFD.
std::string Utf8FromText(const std::wstring& text);

// How many UTF-16 code units `text` takes, which is what Windows counts as
// its characters, whatever the width of wchar_t.
std::size_t Utf16Length(const std::wstring& text);

// The longest start of `text` that takes at most `units` UTF-16 code
// units, never ending between the two halves of a pair.
std::wstring Utf16Prefix(const std::wstring& text, std::size_t units);
