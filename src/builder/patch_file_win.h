#pragma once

#include "builder/patch_plan.h"

#include <windows.h>

#include <cstdint>
#include <string>

// Patch files as build-wrapper.exe reads them: mapped, never copied into
// the process's own memory, since patches run to hundreds of megabytes.

// Who a file is, whatever name reaches it: its volume and its index there.
struct FileIdentity {
    bool known = false;
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
};

// The identity of the file at `path`; unknown when there is none.
FileIdentity IdentifyFile(const std::wstring& path);

struct MappedFile {
    const std::uint8_t* bytes = nullptr;  // the whole file, read-only
    std::uint64_t size = 0;
};

// The facts of the file named `file`; when it may be a patch (a non-empty
// regular file that opens), `mapped` holds its bytes until the process
// ends. The file stays open without write sharing meanwhile, so nobody
// changes it under the build.
PatchFileFacts OpenPatchFile(const std::wstring& file, const FileIdentity& output, MappedFile& mapped);

// The full path of `path` as the system resolves it against the current
// folder; empty when it cannot.
std::wstring FullPathOf(const std::wstring& path);
