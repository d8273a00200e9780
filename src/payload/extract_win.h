#pragma once

#include <string>

// Writes the embedded patch `resourceName` to the file named after `path`
// and `index` (see RebuildExtractPath), creating or replacing it. True when
// every byte was written; after a failed write no file is left under that
// name.
bool ExtractPatch(std::wstring path, const std::wstring& resourceName, int index);
