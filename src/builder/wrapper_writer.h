#pragma once

#include "builder/build_files.h"
#include "builder/sha256.h"
#include "builder/wrapper_layout.h"

#include <cstdint>
#include <string>
#include <vector>

// Writes a wrapper as its layout says, streaming each patch from its file
// in pieces of a fixed size: no patch is held whole in memory, whatever
// its size, and the checksum is computed on the way, the hashes beside it
// (piece_hasher.h).

struct PatchCopy {
    std::wstring file;  // as given
    // As at the checks: another file at the name by now, or the same file
    // written since, is refused.
    FileStamp stamp;
};

// The SHA-256 of what the writer wrote.
struct WrittenHashes {
    bool wrapperWanted = false;  // the wrapper's too, not only the patches'
    Sha256 wrapper;
    std::vector<Sha256> patches;  // of each patch's bytes as they were copied
};

// Writes into `out`, the scratch file `name` (see CreateScratchFile), the
// wrapper of `layout` with patches[i]'s bytes at layout.patchOffsets[i].
// `hashes`, when given, gets the hashes of what it wrote, so that no patch
// nor the wrapper is read for them again. Empty on success; else the
// refusal.
std::wstring WriteWrapper(FileHandle out, const std::wstring& name, const WrapperLayout& layout,
                          const std::vector<PatchCopy>& patches, WrittenHashes* hashes = nullptr);

// "permission denied", "the disk is full", ...
std::wstring FileProblemText(FileProblem problem);
