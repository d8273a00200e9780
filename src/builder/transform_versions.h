#pragma once

#include "payload/compound_file.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The ProductVersion a patch's transforms give the product, read from the
// transforms' own tables: every storage directly under the root that holds
// the streams of _StringPool, _StringData and Property is a transform.

// The stream name the installer gives a table (or "_StringPool"): the
// marker U+4840, then the name with two characters of
// "0-9A-Za-z._" packed into each code unit.
std::u16string TableStreamName(const std::string& table);

// The values of the Property rows named ProductVersion that the transforms
// set, transform by transform in the order of their storage names. False
// ("cannot tell") when the file or one of those streams cannot be read;
// true with no values when no transform sets one.
bool ReadTransformVersions(const CompoundFile& file, std::vector<std::wstring>& versions);
bool ReadTransformVersions(const std::uint8_t* bytes, std::size_t size, std::vector<std::wstring>& versions);
