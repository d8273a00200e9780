#pragma once

#include <string>

// Widens single-byte text in a Windows code page without the platform's
// converter: ASCII stays as it is in every code page; the upper half is
// mapped for code page 1252 (also when the code page is 0, unset), and for
// 28591 (Latin-1). Any other byte becomes U+FFFD. Product codes and
// versions are ASCII, so they always come out exact.
std::wstring WidenAnsiText(const std::string& bytes, unsigned codePage);
