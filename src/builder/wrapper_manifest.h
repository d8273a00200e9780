#pragma once

#include "builder/build_files.h"
#include "builder/patch_checks.h"

#include <cstdint>
#include <string>
#include <vector>

// The manifest that --manifest FILE writes: what a wrapper carries, as
// JSON (schemas/manifest.schema.json holds its schema). It is made of what
// the build read and wrote, with no path, time or host name in it, so the
// same patches give the same bytes from both builders.
//
// It is written last, after the wrapper is in place, the way the wrapper
// is (see build_files.h): into FILE.partial, made anew before anything is
// built and held until it is renamed over FILE.

struct FileDigest {
    std::uint64_t size = 0;
    std::wstring sha256;  // 64 lowercase hex digits
};

// A patch as the wrapper carries it.
struct ManifestPatch {
    int slot = 0;
    std::wstring file;  // its name as given, without folders
    FileDigest digest;
};

inline std::wstring ManifestScratchFile(const std::wstring& manifest)
{
    return manifest + L".partial";
}

// Why the manifest cannot be written to `manifest`, before anything is
// built: a folder stands there, or it or its scratch file is the
// `output` or one of the build's `scratch` files. Empty when it can.
std::wstring ManifestNameRefusal(const std::wstring& manifest, const std::wstring& output,
                                 const std::vector<std::wstring>& scratch);

// The size and SHA-256 of the whole of `file`, read from its start; false
// when it cannot be read.
bool DigestOfFile(FileHandle file, FileDigest& digest);

// The manifest's text, UTF-8: `report` holds what the checks read of each
// slot, unless the patches were embedded --unchecked.
std::string ManifestText(const std::wstring& arch, const FileDigest& wrapper, const std::vector<ManifestPatch>& patches,
                         const BuildReport& report);
