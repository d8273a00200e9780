#include "builder/transform_versions.h"

#include "builder/database_streams.h"
#include "payload/ansi_text.h"
#include "shared/little_endian.h"

#include <algorithm>
#include <string_view>

namespace {

// The string references of the Property rows: a 16-bit mask, then one
// reference per column present. An odd mask is a whole row of (mask >> 8)
// columns; an even one has the key, and the value when bit 1 is set; mask
// 0 deletes the row. `keyAndValue(key, value)` for every row that sets a
// value; false when a row is cut short.
template <typename Row>
bool VisitPropertyRows(const std::vector<std::uint8_t>& rows, std::size_t referenceSize, Row keyAndValue)
{
    std::size_t at = 0;
    while (at + 2 <= rows.size()) {
        const unsigned mask = Get16(rows.data() + at);
        at += 2;
        const std::size_t columns = (mask & 1) != 0 ? mask >> 8 : (mask & 2) != 0 ? 2 : 1;
        if (columns * referenceSize > rows.size() - at)
            return false;
        if (columns >= 2)
            keyAndValue(StringReference(rows, at, referenceSize), StringReference(rows, at + referenceSize, referenceSize));
        at += columns * referenceSize;
    }
    return true;
}

// Adds the values of the rows keyed ProductVersion to `versions`, each
// once: the rows give their string ids, and one walk of the pool their
// texts.
TransformVersionsResult ReadProductVersions(const DatabaseStrings& strings, const std::vector<std::uint8_t>& rows,
                                            std::vector<std::wstring>& versions)
{
    std::uint32_t key = 0;
    if (!FindString(strings, "ProductVersion", key))
        return kTransformsUnreadable;
    // One past the cap says there are too many.
    std::vector<std::uint32_t> ids;
    if (!VisitPropertyRows(rows, strings.referenceSize, [&](std::uint32_t name, std::uint32_t value) {
            if (key != 0 && name == key && ids.size() <= kMaxTransformVersions &&
                std::find(ids.begin(), ids.end(), value) == ids.end())
                ids.push_back(value);
        }))
        return kTransformsUnreadable;
    if (ids.size() > kMaxTransformVersions)
        return kTooManyVersions;
    // A value id the pool lacks reads as empty.
    std::vector<std::string_view> texts(ids.size());
    VisitStrings(strings, [&](std::uint32_t id, std::string_view text) {
        const auto found = std::find(ids.begin(), ids.end(), id);
        if (found != ids.end())
            texts[static_cast<std::size_t>(found - ids.begin())] = text;
    });
    for (std::string_view text : texts) {
        if (text.size() > kMaxVersionLength)
            return kVersionTooLong;
        const std::wstring version = WidenAnsiText(std::string(text), strings.codePage);
        if (std::find(versions.begin(), versions.end(), version) != versions.end())
            continue;
        if (versions.size() == kMaxTransformVersions)
            return kTooManyVersions;
        versions.push_back(version);
    }
    return kTransformVersionsRead;
}

TransformVersionsResult ReadTransform(const CompoundFile& file, std::uint32_t storage,
                                      std::vector<std::wstring>& versions)
{
    const std::uint32_t property = FindTableStream(file, storage, "Property");
    // A storage without these tables is no transform.
    if (property == kNoEntry || FindTableStream(file, storage, "_StringPool") == kNoEntry ||
        FindTableStream(file, storage, "_StringData") == kNoEntry)
        return kTransformVersionsRead;
    DatabaseStrings strings;
    std::vector<std::uint8_t> rows;
    if (!ReadDatabaseStrings(file, storage, strings) || !ReadTableStream(file, property, rows))
        return kTransformsUnreadable;
    return ReadProductVersions(strings, rows, versions);
}

} // namespace

TransformVersionsResult ReadTransformVersions(const CompoundFile& file, std::vector<std::wstring>& versions)
{
    versions.clear();
    std::vector<std::uint32_t> storages;
    if (!ListChildren(file, kRootEntry, storages))
        return kTransformsUnreadable;
    storages.erase(std::remove_if(storages.begin(), storages.end(),
                                  [&](std::uint32_t child) { return file.entries[child].type != kEntryStorage; }),
                   storages.end());
    if (storages.size() > kMaxTransforms)
        return kTooManyTransforms;
    std::stable_sort(storages.begin(), storages.end(), [&](std::uint32_t a, std::uint32_t b) {
        return file.entries[a].name < file.entries[b].name;
    });
    for (std::uint32_t storage : storages) {
        const TransformVersionsResult result = ReadTransform(file, storage, versions);
        if (result != kTransformVersionsRead) {
            versions.clear();
            return result;
        }
    }
    return kTransformVersionsRead;
}

TransformVersionsResult ReadTransformVersions(const std::uint8_t* bytes, std::size_t size,
                                              std::vector<std::wstring>& versions)
{
    versions.clear();
    CompoundFile file;
    if (!OpenCompoundFile(bytes, size, file))
        return kTransformsUnreadable;
    return ReadTransformVersions(file, versions);
}
