#pragma once

#include "builder/builder_options.h"

#include <cstddef>
#include <cstdint>
#include <string>

// What each builder's platform provides to the builder they share
// (builder_host_posix.cpp for Linux, builder_host_win.cpp for Windows).

// Text to standard output or standard error, in UTF-8 (or the console's
// own characters).
void PrintOut(const std::wstring& text);
void PrintError(const std::wstring& text);

// The wrapper without patches of `arch` ("x64" or "x86") that this builder
// carries; false when it carries none.
bool FindStub(const std::wstring& arch, const std::uint8_t*& bytes, std::size_t& size);

// Why --sign or --password-file cannot be used as given; empty when they
// can (or are absent). Checked before any patch is read.
std::wstring SigningRefusal(const BuilderOptions& options);

// Signs the finished wrapper `unsigned_` into `signed_`; empty on success,
// else the refusal.
std::wstring SignWrapper(const std::wstring& unsigned_, const std::wstring& signed_, const BuilderOptions& options);
