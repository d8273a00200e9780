#pragma once

#include <string>

// Writes the embedded patch `resourceName` to the file named after `path`
// and `index` (see RebuildExtractPath). True when every byte was written.
bool ExtractPatch(std::wstring path, const std::wstring& resourceName, int index);

// True when the slot holds a patch: the resource exists and is not empty.
bool HasEmbeddedPatch(const std::wstring& resourceName);
