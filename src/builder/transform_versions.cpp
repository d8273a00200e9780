#include "builder/transform_versions.h"

#include "payload/ansi_text.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string_view>

namespace {

const char kNameCharacters[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz._";

int NameCode(char c)
{
    const char* found = c == '\0' ? nullptr : std::strchr(kNameCharacters, c);
    return found == nullptr ? -1 : static_cast<int>(found - kNameCharacters);
}

unsigned Get16(const std::vector<std::uint8_t>& bytes, std::size_t at)
{
    return bytes[at] | (bytes[at + 1] << 8);
}

// Transforms' tables are read whole, and a transform that changes a large
// product's tables takes a few megabytes. A larger stream is not read (the
// versions then "cannot tell"): what the checks hold stays bounded,
// whatever the patch.
constexpr std::size_t kMaxTableStreamBytes = 16 << 20;

struct StringPool {
    const std::vector<std::uint8_t>& pool;
    const std::vector<std::uint8_t>& data;
    unsigned codePage = 0;
    std::size_t referenceSize = 2;
};

// The pool is a code page header, then one (length, reference count) pair
// of 16-bit words per string id; (0, 0) is an unused id. A string of 64 KB
// or more takes two pairs: (0, count), then its length as a 32-bit value,
// as the installer writes and reads it. `visit(id, text)` for every string
// in id order; nothing is kept, so a pool of any size costs nothing.
template <typename Visit>
void VisitStrings(const StringPool& strings, Visit visit)
{
    const std::vector<std::uint8_t>& pool = strings.pool;
    const std::vector<std::uint8_t>& data = strings.data;
    const std::size_t pairs = pool.size() / 4;
    std::uint64_t offset = 0;
    std::uint32_t id = 1;
    for (std::size_t i = 1; i < pairs; ++id) {
        std::uint64_t length = Get16(pool, i * 4);
        const unsigned references = Get16(pool, i * 4 + 2);
        if (length == 0 && references == 0) {
            ++i;
            continue;
        }
        if (length == 0) {
            if (i + 1 >= pairs)
                break;
            length = Get16(pool, i * 4 + 4) | (static_cast<std::uint64_t>(Get16(pool, i * 4 + 6)) << 16);
            i += 2;
        } else {
            i += 1;
        }
        // Data that ends early cuts the string short, as a slice would.
        const std::size_t begin = static_cast<std::size_t>(std::min<std::uint64_t>(offset, data.size()));
        const std::size_t end = static_cast<std::size_t>(std::min<std::uint64_t>(data.size() - begin, length)) + begin;
        visit(id, std::string_view(reinterpret_cast<const char*>(data.data()) + begin, end - begin));
        offset += length;
    }
}

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
        const unsigned mask = Get16(rows, at);
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
            std::uint32_t reference = 0;
            for (std::size_t b = 0; b < referenceSize; ++b)
                reference |= static_cast<std::uint32_t>(rows[at + b]) << (8 * b);
            fields.push_back(reference);
            at += referenceSize;
        }
        if (fields.size() >= 2 && present[1])
            keyAndValue(fields[0], fields[1]);
    }
    return true;
}

// The values of the rows keyed ProductVersion, in row order: the pool is
// walked once for the key's ids and once for the values' texts.
bool ReadProductVersions(const std::vector<std::uint8_t>& pool, const std::vector<std::uint8_t>& data,
                         const std::vector<std::uint8_t>& rows, std::vector<std::wstring>& versions)
{
    if (pool.size() < 4)
        return false;
    const unsigned high = Get16(pool, 2);
    const StringPool strings{pool, data, Get16(pool, 0) | ((high & 0x7FFF) << 16), (high & 0x8000) != 0 ? 3u : 2u};
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
    std::uint32_t entries[3];
    const char* const tables[3] = {"_StringPool", "_StringData", "Property"};
    for (int i = 0; i < 3; ++i) {
        entries[i] = FindChild(file, storage, TableStreamName(tables[i]));
        // A storage without these tables is no transform.
        if (entries[i] == kNoEntry || file.entries[entries[i]].type != kEntryStream)
            return true;
    }
    std::vector<std::uint8_t> pool, data, rows;
    return ReadStream(file, entries[0], pool, kMaxTableStreamBytes) &&
           ReadStream(file, entries[1], data, kMaxTableStreamBytes) &&
           ReadStream(file, entries[2], rows, kMaxTableStreamBytes) && ReadProductVersions(pool, data, rows, versions);
}

} // namespace

std::u16string TableStreamName(const std::string& table)
{
    std::u16string name(1, u'\x4840');
    for (std::size_t i = 0; i < table.size(); ++i) {
        const int first = NameCode(table[i]);
        const int second = i + 1 < table.size() ? NameCode(table[i + 1]) : -1;
        if (first < 0) {
            name += static_cast<char16_t>(static_cast<unsigned char>(table[i]));
        } else if (second < 0) {
            name += static_cast<char16_t>(0x4800 + first);
        } else {
            name += static_cast<char16_t>(0x3800 + first + (second << 6));
            ++i;
        }
    }
    return name;
}

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
