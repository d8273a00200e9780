#pragma once

#include "payload/compound_file.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The ProductVersion a patch's transforms give the product, read from the
// transforms' own tables: every storage directly under the root that holds
// the streams of _StringPool, _StringData and Property is a transform.

// The values of the Property rows named ProductVersion that the transforms
// set, transform by transform in the order of their storage names. False
// ("cannot tell") when the file or one of those streams cannot be read;
// true with no values when no transform sets one.
bool ReadTransformVersions(const CompoundFile& file, std::vector<std::wstring>& versions);
bool ReadTransformVersions(const std::uint8_t* bytes, std::size_t size, std::vector<std::wstring>& versions);
