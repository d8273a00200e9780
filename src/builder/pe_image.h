#pragma once

#include "builder/pe_headers.h"

#include <cstddef>
#include <cstdint>
#include <string>

// A wrapper without patches (the stub), as the wrapper writer needs it:
// its headers (pe_headers.h) and where its resource tree lies, once the
// stub is known to be one the writer can add a section to.

struct PeImage : PeHeaders {
    std::uint32_t resourceRva = 0;
    std::uint32_t resourceSize = 0;
    std::size_t resourceSection = 0;  // the section that holds the tree's root
};

// Reads the headers of `bytes`. False, with what is wrong in `problem`
// ("is not a Windows executable", "is signed already", ...: the words
// follow the file's name), when the file is no x64 or x86 executable the
// writer can add a section to: not a PE file, signed, alignments it does
// not keep, data after its last section, no room for one more section
// header, no resources.
bool ReadPeImage(const std::uint8_t* bytes, std::size_t size, PeImage& image, std::wstring& problem);
