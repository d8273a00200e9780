#include "builder/transform_versions.h"

#include "builder/database_streams.h"
#include "payload/ansi_text.h"
#include "shared/little_endian.h"

#include <algorithm>
#include <map>
#include <set>
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
        std::vector<bool> present;
        if ((mask & 1) != 0)
            present.assign(mask >> 8, true);
        else
            present = {true, (mask & 2) != 0};
        std::vector<std::uint32_t> fields;
        for (bool column : present) {
            if (!column) {
                fields.push_back(0);
                continue;
            }
            if (at + referenceSize > rows.size())
                return false;
            fields.push_back(StringReference(rows, at, referenceSize));
            at += referenceSize;
        }
        if (fields.size() >= 2 && present[1])
            keyAndValue(fields[0], fields[1]);
    }
    return true;
}

// The values of the rows keyed ProductVersion, in row order: the pool is
// walked once for the key's ids and once for the values' texts.
bool ReadProductVersions(const DatabaseStrings& strings, const std::vector<std::uint8_t>& rows,
                         std::vector<std::wstring>& versions)
{
    std::set<std::uint32_t> keys;
    VisitStrings(strings, [&](std::uint32_t id, std::string_view text) {
        if (text == "ProductVersion")
            keys.insert(id);
    });
    std::vector<std::uint32_t> values;
    if (!VisitPropertyRows(rows, strings.referenceSize, [&](std::uint32_t key, std::uint32_t value) {
            if (keys.count(key) != 0)
                values.push_back(value);
        }))
        return false;
    std::map<std::uint32_t, std::string> texts;
    for (std::uint32_t value : values)
        texts[value];
    VisitStrings(strings, [&](std::uint32_t id, std::string_view text) {
        const auto found = texts.find(id);
        if (found != texts.end())
            found->second.assign(text.data(), text.size());
    });
    for (std::uint32_t value : values)
        versions.push_back(WidenAnsiText(texts[value], strings.codePage));
    return true;
}

bool ReadTransform(const CompoundFile& file, std::uint32_t storage, std::vector<std::wstring>& versions)
{
    const std::uint32_t property = FindTableStream(file, storage, "Property");
    // A storage without these tables is no transform.
    if (property == kNoEntry || FindTableStream(file, storage, "_StringPool") == kNoEntry ||
        FindTableStream(file, storage, "_StringData") == kNoEntry)
        return true;
    DatabaseStrings strings;
    std::vector<std::uint8_t> rows;
    return ReadDatabaseStrings(file, storage, strings) && ReadTableStream(file, property, rows) &&
           ReadProductVersions(strings, rows, versions);
}

} // namespace

bool ReadTransformVersions(const CompoundFile& file, std::vector<std::wstring>& versions)
{
    versions.clear();
    std::vector<std::uint32_t> children;
    if (!ListChildren(file, kRootEntry, children))
        return false;
    std::stable_sort(children.begin(), children.end(), [&](std::uint32_t a, std::uint32_t b) {
        return file.entries[a].name < file.entries[b].name;
    });
    for (std::uint32_t child : children) {
        if (file.entries[child].type == kEntryStorage && !ReadTransform(file, child, versions)) {
            versions.clear();
            return false;
        }
    }
    return true;
}

bool ReadTransformVersions(const std::uint8_t* bytes, std::size_t size, std::vector<std::wstring>& versions)
{
    versions.clear();
    CompoundFile file;
    return OpenCompoundFile(bytes, size, file) && ReadTransformVersions(file, versions);
}
