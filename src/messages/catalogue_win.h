#pragma once

#include <windows.h>

#include <string>

// The room for one catalogue text, terminator included.
constexpr int kMessageChars = 256;

// Loads catalogue text `id` in the language of the calling thread's locale
// (English when the catalogue has no table for it) into `text`, keeping at
// most maxChars - 1 characters. Returns the number of characters loaded,
// 0 when the id is missing; `text` is replaced in every case.
int LoadMessage(HINSTANCE instance, int id, std::wstring& text, int maxChars);
