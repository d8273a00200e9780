#pragma once

#include "payload/compound_file.h"

#include <cstdint>
#include <string>
#include <vector>

// Which patch file goes into which slot of a wrapper, from the builder's
// PATCH arguments: "FILE" takes the next free slot, "N=FILE" slot N (1 to
// 15). Both builders refuse with the same words; the refusal texts lack the
// "build-wrapper: " that the builders print before them.

constexpr int kBuilderRefused = 2;  // the builders' exit code for any refusal

struct PatchArgument {
    int slot = 0;  // 0: the next free slot
    std::wstring file;  // as given
};

// False, with the refusal, for more than 15 patches, a slot outside 1 to
// 15 or one given twice (the first such argument is named).
bool ParsePatchArguments(const std::vector<std::wstring>& arguments, std::vector<PatchArgument>& patches,
                         std::wstring& refusal);

// Which file a name led to (device and inode; volume serial and file
// index) and when it was last written: the checks and the copy refuse a
// patch that is no longer the file first looked at, even at the same size.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    std::int64_t modified = 0;
};
bool operator==(const FileIdentity& a, const FileIdentity& b);

// Which of the files a build writes a file it reads is: the wrapper's,
// the manifest's, or one it writes before them (see build_files.h).
enum WrittenFile {
    kNotWritten,
    kWrittenOutput,
    kWrittenManifest,
    kWrittenScratch,
};

// Empty when `written` is kNotWritten; else the refusal of the file the
// build reads (`what`: "patch file", "certificate file", "password file")
// named `file`: an input is never an output.
std::wstring WrittenInputRefusal(const std::wstring& what, const std::wstring& file, WrittenFile written);

// What the platform found at a patch file's name.
struct PatchFileFacts {
    bool exists = false;
    bool regular = false;  // a file, not a folder or a device
    WrittenFile written = kNotWritten;
    std::uint64_t size = 0;
    FileIdentity identity;
    bool readable = false;  // it could be opened for reading
    bool signature = false;  // it begins with the compound-file signature
    std::wstring fullPath;  // absolute, as the slot map names it
};

// Empty when the file may go into a wrapper; else why not.
std::wstring PatchFileRefusal(const std::wstring& file, const PatchFileFacts& facts);

// The refusal of a patch file that cannot be read, whenever the builder
// finds out: on the first look, for the checks or while copying it.
std::wstring UnreadablePatchRefusal(const std::wstring& file);

// The refusal of a patch file that is no longer the one first looked at,
// found by the checks or the copy.
std::wstring ChangedPatchRefusal(const std::wstring& file);

struct PlacedPatch {
    int slot = 0;
    size_t argument = 0;  // index into the PATCH arguments
};

// Slots named explicitly are placed first; the others fill the free slots
// from 1 upwards. In slot order.
std::vector<PlacedPatch> PlaceSlots(const std::vector<PatchArgument>& patches);
