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

// The tree of `resources` in the loader's order (named entries first,
// sorted by their UTF-16 code units, then numbered ones in ascending
// order, at every level): directories, data entries, then names. The resources' bytes are not part of it: each data
// entry points at its resource's dataRva. Deterministic: no time stamps.
std::vector<std::uint8_t> WriteResourceTree(std::vector<Resource> resources);

// The size WriteResourceTree gives for these resources.
std::size_t ResourceTreeSize(const std::vector<Resource>& resources);
