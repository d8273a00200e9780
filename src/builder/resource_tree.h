#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// An executable's resource tree (type, name, language) as a flat list of
// resources, and the tree written back from such a list.

// A type or a name: a string (as stored, UTF-16 code units) or a number.
struct ResourceId {
    std::u16string name;  // empty for a number
    std::uint16_t number = 0;
};

struct Resource {
    ResourceId type;
    ResourceId name;
    std::uint16_t language = 0;
    std::uint32_t dataRva = 0;  // where the image holds the bytes
    std::uint32_t size = 0;
    std::uint32_t codePage = 0;
};

// The resources of the tree at `treeRva`. `section` is the raw data of
// the section that holds the tree, which starts at `sectionRva`. False
// when the tree leaves the section, is deeper or shallower than type,
// name and language, or has more entries than the section could hold.
bool ReadResourceTree(const std::uint8_t* section, std::size_t sectionSize, std::uint32_t sectionRva,
                      std::uint32_t treeRva, std::vector<Resource>& resources);

// Where every part of the tree of a list of resources goes (offsets from
// the tree's start), decided before a byte is written, with each field
// that points at another part already holding that part's offset.
struct ResourceTreeDirectory {
    std::size_t offset = 0;
    std::uint16_t named = 0;  // entries with a name, listed first
    std::uint16_t numbered = 0;
};

struct ResourceTreeEntry {
    std::size_t offset = 0;
    std::uint32_t id = 0;  // a number, or the high bit and a name's offset
    std::uint32_t target = 0;  // the high bit and a directory's offset, or a data entry's offset
};

struct ResourceTreeDataEntry {
    std::size_t offset = 0;
    std::size_t resource = 0;  // its index in the list laid out
};

struct ResourceTreeName {
    std::size_t offset = 0;
    std::u16string text;
};

struct ResourceTreeLayout {
    std::vector<ResourceTreeDirectory> directories;
    std::vector<ResourceTreeEntry> entries;
    std::vector<ResourceTreeDataEntry> dataEntries;
    std::vector<ResourceTreeName> names;
    std::size_t size = 0;
};

// The tree of `resources` in the loader's order (named entries first,
// sorted by their UTF-16 code units, then numbered ones in ascending
// order, at every level): directories level by level, data entries, then
// names. The resources' bytes are not part of it, nor where they lie.
ResourceTreeLayout LayOutResourceTree(const std::vector<Resource>& resources);

// The tree's bytes, each data entry pointing at its resource's dataRva in
// `resources` (the list laid out; the addresses may be set after the
// layout). Deterministic: no time stamps.
std::vector<std::uint8_t> WriteResourceTree(const ResourceTreeLayout& layout, const std::vector<Resource>& resources);
