#pragma once

#include "payload/compound_file.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// An installer database as its compound file holds it, for the builder's
// readers of a patch's tables and its transforms' tables: a table is a
// stream under an encoded name, and its string columns hold references
// into the database's shared string pool (_StringPool, _StringData).

// The stream name the installer gives a table (or "_StringPool"): the
// marker U+4840, then the name with two characters of
// "0-9A-Za-z._" packed into each code unit.
std::u16string TableStreamName(const std::string& table);

// The stream of `table` directly inside `storage`; kNoEntry when there is
// none by that name, or it is no stream.
std::uint32_t FindTableStream(const CompoundFile& file, std::uint32_t storage, const std::string& table);

// The whole stream `entry` of a table; false when it cannot be read or
// is larger than the readers hold.
bool ReadTableStream(const CompoundFile& file, std::uint32_t entry, std::vector<std::uint8_t>& bytes);

struct DatabaseStrings {
    std::vector<std::uint8_t> pool;
    std::vector<std::uint8_t> data;
    unsigned codePage = 0;
    std::size_t referenceSize = 2;  // bytes of a string reference in the tables' rows
};

// The string pool of the database in `storage`; false when its streams
// are missing or cannot be read, or the pool lacks its header.
bool ReadDatabaseStrings(const CompoundFile& file, std::uint32_t storage, DatabaseStrings& strings);

// `visit(id, text)` for every string of the pool, in id order.
void VisitStrings(const DatabaseStrings& strings, const std::function<void(std::uint32_t, std::string_view)>& visit);

// The id of the pool's string `text` in `id`, 0 when the pool lacks it.
// False when the pool holds it under two ids: the installer writes each
// string once, so the pool is damaged, and nothing says which id a reader
// would take. Nothing is kept per string.
bool FindString(const DatabaseStrings& strings, std::string_view text, std::uint32_t& id);

// The string reference of `size` bytes at `at`, which the caller has
// found inside `rows`; 0 is Null.
std::uint32_t StringReference(const std::vector<std::uint8_t>& rows, std::size_t at, std::size_t size);
