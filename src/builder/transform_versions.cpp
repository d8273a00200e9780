#include "builder/transform_versions.h"

#include "payload/ansi_text.h"

#include <algorithm>
#include <cstring>
#include <map>

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

struct StringTable {
    std::map<std::uint32_t, std::string> strings;  // by string id
    unsigned codePage = 0;
    std::size_t referenceSize = 2;
};

// The pool is a code page header, then one (length, reference count) pair
// of 16-bit words per string id; (0, 0) is an unused id. A string of 64 KB
// or more takes two pairs: (0, count), then its length as a 32-bit value,
// as the installer writes and reads it.
bool ReadStringTable(const std::vector<std::uint8_t>& pool, const std::vector<std::uint8_t>& data,
                     StringTable& table)
{
    if (pool.size() < 4)
        return false;
    const unsigned high = Get16(pool, 2);
    table.codePage = Get16(pool, 0) | ((high & 0x7FFF) << 16);
    table.referenceSize = (high & 0x8000) != 0 ? 3 : 2;
    const std::size_t pairs = pool.size() / 4;
    std::size_t offset = 0;
    std::uint32_t id = 1;
    for (std::size_t i = 1; i < pairs; ++id) {
        std::size_t length = Get16(pool, i * 4);
        const unsigned references = Get16(pool, i * 4 + 2);
        if (length == 0 && references == 0) {
            ++i;
            continue;
        }
        if (length == 0) {
            if (i + 1 >= pairs)
                break;
            length = Get16(pool, i * 4 + 4) | (static_cast<std::size_t>(Get16(pool, i * 4 + 6)) << 16);
            i += 2;
        } else {
            i += 1;
        }
        // Data that ends early cuts the string short, as a slice would.
        const std::size_t begin = std::min(offset, data.size());
        const std::size_t end = std::min(data.size() - begin, length) + begin;
        table.strings[id].assign(data.begin() + begin, data.begin() + end);
        offset += length;
    }
    return true;
}

std::string StringOf(const StringTable& table, std::uint32_t id)
{
    const auto found = table.strings.find(id);
    return found == table.strings.end() ? std::string() : found->second;
}

// Property rows of a transform: a 16-bit mask, then one string reference
// per column present. An odd mask is a whole row of (mask >> 8) columns;
// an even one has the key, and the value when bit 1 is set; mask 0
// deletes the row.
bool ReadProductVersions(const std::vector<std::uint8_t>& rows, const StringTable& table,
                         std::vector<std::wstring>& versions)
{
    const std::size_t size = table.referenceSize;
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
            if (at + size > rows.size())
                return false;
            std::uint32_t reference = 0;
            for (std::size_t b = 0; b < size; ++b)
                reference |= static_cast<std::uint32_t>(rows[at + b]) << (8 * b);
            fields.push_back(reference);
            at += size;
        }
        if (fields.size() >= 2 && present[1] && StringOf(table, fields[0]) == "ProductVersion")
            versions.push_back(WidenAnsiText(StringOf(table, fields[1]), table.codePage));
    }
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
    StringTable table;
    // No size cap beyond the file's: a read never allocates more than the
    // bytes it was given hold.
    return ReadStream(file, entries[0], pool, SIZE_MAX) && ReadStream(file, entries[1], data, SIZE_MAX) &&
           ReadStream(file, entries[2], rows, SIZE_MAX) && ReadStringTable(pool, data, table) &&
           ReadProductVersions(rows, table, versions);
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
