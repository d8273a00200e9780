#pragma once

#include "payload/compound_file.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The ProductVersion a patch's transforms give the product, read from the
// transforms' own tables: every storage directly under the root that holds
// the streams of _StringPool, _StringData and Property is a transform.
// What the reader holds stays within the caps below, whatever the patch:
// a value is read once by its string id, however many rows name it.

// A patch holds two transforms per product it targets; the installer
// applies no more than 255 to a product ("Applying Transforms").
constexpr std::size_t kMaxTransforms = 255;
// Far above what a real patch's transforms set: one version per product.
constexpr std::size_t kMaxTransformVersions = 16;
// "65535.65535.65535.65535" takes 23.
constexpr std::size_t kMaxVersionLength = 64;

enum TransformVersionsResult {
    kTransformVersionsRead,
    kTransformsUnreadable,  // the file or one of a transform's streams cannot be read
    kTooManyTransforms,  // more than kMaxTransforms storages under the root
    kTooManyVersions,  // more than kMaxTransformVersions distinct values
    kVersionTooLong,  // a value longer than kMaxVersionLength bytes
};

// The distinct values of the Property rows named ProductVersion that the
// transforms set, transform by transform in the order of their storage
// names, row by row. Anything but kTransformVersionsRead ("cannot tell")
// leaves `versions` empty; read with no values when no transform sets one.
TransformVersionsResult ReadTransformVersions(const CompoundFile& file, std::vector<std::wstring>& versions);
TransformVersionsResult ReadTransformVersions(const std::uint8_t* bytes, std::size_t size,
                                              std::vector<std::wstring>& versions);
