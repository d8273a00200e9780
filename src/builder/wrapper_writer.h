#pragma once

#include "builder/build_files.h"
#include "builder/wrapper_layout.h"

#include <cstdint>
#include <string>
#include <vector>

// Writes a wrapper as its layout says, streaming each patch from its file
// in pieces of a fixed size: no patch is held whole in memory, whatever
// its size, and the checksum is computed on the way.

struct PatchCopy {
    std::wstring file;  // as given
    std::uint64_t size = 0;  // as checked: a file of another size by now is refused
};

// Writes to `partial` (created or emptied, see CreatePartialFile) the
// wrapper of `layout` with patches[i]'s bytes at layout.patchOffsets[i].
// Empty on success; else the refusal, and `partial` is removed.
std::wstring WriteWrapperFile(const std::wstring& partial, const WrapperLayout& layout,
                              const std::vector<PatchCopy>& patches);

// "permission denied", "the disk is full", ...
std::wstring FileProblemText(FileProblem problem);
