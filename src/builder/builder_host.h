#pragma once

#include "builder/build_files.h"
#include "builder/builder_options.h"
#include "builder/wrapper_manifest.h"

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

// The longest password line --password-file may hold, in bytes.
constexpr std::size_t kLongestPassword = 4096;

// Why --sign or --password-file cannot be used as given; empty when they
// can (or are absent). Checked before any patch is read or anything made.
std::wstring SigningRefusal(const BuilderOptions& options);

// The signer writes the signed wrapper into a folder of its own beside
// the output (see MakeSigningFolder in build_files.h).
constexpr wchar_t kSignedName[] = L"signed.exe";
inline std::wstring SigningFolder(const std::wstring& output)
{
    return output + L".signing";
}
inline std::wstring SignedFile(const std::wstring& output)
{
    return SigningFolder(output) + L"/" + kSignedName;
}

// Signs the finished wrapper in `unsigned_`, the scratch file the build
// holds, into SignedFile and renames that over `output`, `unsigned_` held
// all the while. `digest`, when given, gets the size and SHA-256 of the
// signed wrapper. Empty on success; else the refusal, and nothing of the
// signing is left.
std::wstring SignIntoPlace(FileHandle unsigned_, const std::wstring& output, const BuilderOptions& options,
                           FileDigest* digest);
