#include "builder/database_streams.h"

#include "shared/little_endian.h"

#include <algorithm>
#include <cstring>

namespace {

const char kNameCharacters[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz._";

int NameCode(char c)
{
    const char* found = c == '\0' ? nullptr : std::strchr(kNameCharacters, c);
    return found == nullptr ? -1 : static_cast<int>(found - kNameCharacters);
}

// Tables are read whole, and a transform that changes a large product's
// tables takes a few megabytes. A larger stream is not read (the reader
// then "cannot tell"): what the checks hold stays bounded, whatever the
// patch.
constexpr std::size_t kMaxTableStreamBytes = 16 << 20;

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

std::uint32_t FindTableStream(const CompoundFile& file, std::uint32_t storage, const std::string& table)
{
    const std::uint32_t entry = FindChild(file, storage, TableStreamName(table));
    return entry != kNoEntry && file.entries[entry].type == kEntryStream ? entry : kNoEntry;
}

bool ReadTableStream(const CompoundFile& file, std::uint32_t entry, std::vector<std::uint8_t>& bytes)
{
    return ReadStream(file, entry, bytes, kMaxTableStreamBytes);
}

bool ReadDatabaseStrings(const CompoundFile& file, std::uint32_t storage, DatabaseStrings& strings)
{
    if (!ReadTableStream(file, FindTableStream(file, storage, "_StringPool"), strings.pool) ||
        !ReadTableStream(file, FindTableStream(file, storage, "_StringData"), strings.data) ||
        strings.pool.size() < 4)
        return false;
    // The header's top bit says the rows' references take three bytes:
    // the pool has more ids than two bytes count.
    const unsigned high = Get16(strings.pool.data() + 2);
    strings.codePage = Get16(strings.pool.data()) | ((high & 0x7FFF) << 16);
    strings.referenceSize = (high & 0x8000) != 0 ? 3 : 2;
    return true;
}

// The pool is a code page header, then one (length, reference count) pair
// of 16-bit words per string id; (0, 0) is an unused id. A string of 64 KB
// or more takes two pairs: (0, count), then its length as a 32-bit value,
// as the installer writes and reads it. Nothing is kept, so a pool of any
// size costs nothing.
void VisitStrings(const DatabaseStrings& strings, const std::function<void(std::uint32_t, std::string_view)>& visit)
{
    const std::vector<std::uint8_t>& pool = strings.pool;
    const std::vector<std::uint8_t>& data = strings.data;
    const std::size_t pairs = pool.size() / 4;
    std::uint64_t offset = 0;
    std::uint32_t id = 1;
    for (std::size_t i = 1; i < pairs; ++id) {
        std::uint64_t length = Get16(pool.data() + i * 4);
        const unsigned references = Get16(pool.data() + i * 4 + 2);
        if (length == 0 && references == 0) {
            ++i;
            continue;
        }
        if (length == 0) {
            if (i + 1 >= pairs)
                break;
            length = Get32(pool.data() + i * 4 + 4);
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

bool FindString(const DatabaseStrings& strings, std::string_view text, std::uint32_t& id)
{
    id = 0;
    bool once = true;
    VisitStrings(strings, [&](std::uint32_t found, std::string_view other) {
        if (other != text)
            return;
        once = once && id == 0;
        id = found;
    });
    return once;
}

std::uint32_t StringReference(const std::vector<std::uint8_t>& rows, std::size_t at, std::size_t size)
{
    std::uint32_t reference = 0;
    for (std::size_t b = 0; b < size; ++b)
        reference |= static_cast<std::uint32_t>(rows[at + b]) << (8 * b);
    return reference;
}
