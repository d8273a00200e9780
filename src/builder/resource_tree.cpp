#include "builder/resource_tree.h"

#include "shared/little_endian.h"

#include <algorithm>
#include <array>
#include <numeric>

namespace {

constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr std::size_t kDirectorySize = 16;
constexpr std::size_t kEntrySize = 8;
constexpr std::size_t kDataEntrySize = 16;

struct TreeReader {
    const std::uint8_t* section;
    std::size_t sectionSize;
    std::size_t treeStart;  // offset of the root in the section
    std::size_t budget;  // entries still allowed: shared subtrees cannot multiply them without end
    std::vector<Resource>& resources;
};

bool Inside(const TreeReader& reader, std::uint64_t offset, std::uint64_t size)
{
    return reader.treeStart + offset + size <= reader.sectionSize;
}

bool ReadId(const TreeReader& reader, std::uint32_t field, ResourceId& id)
{
    id = ResourceId();
    if ((field & kHighBit) == 0) {
        if (field > 0xFFFF)
            return false;
        id.number = static_cast<std::uint16_t>(field);
        return true;
    }
    const std::uint32_t offset = field & ~kHighBit;
    if (!Inside(reader, offset, 2))
        return false;
    const std::uint8_t* p = reader.section + reader.treeStart + offset;
    const std::uint16_t length = Get16(p);
    if (length == 0 || !Inside(reader, offset + 2, std::uint64_t{length} * 2))
        return false;
    for (std::uint16_t i = 0; i < length; ++i)
        id.name.push_back(static_cast<char16_t>(Get16(p + 2 + i * 2)));
    return true;
}

// Level 0 lists types, 1 names, 2 languages, whose entries lead to data.
bool ReadDirectory(TreeReader& reader, std::uint32_t offset, unsigned level, Resource& path)
{
    if (!Inside(reader, offset, kDirectorySize))
        return false;
    const std::uint8_t* directory = reader.section + reader.treeStart + offset;
    const std::size_t count = std::size_t{Get16(directory + 12)} + Get16(directory + 14);
    if (count > reader.budget || !Inside(reader, offset + kDirectorySize, count * kEntrySize))
        return false;
    reader.budget -= count;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* entry = directory + kDirectorySize + i * kEntrySize;
        const std::uint32_t target = Get32(entry + 4);
        const bool subdirectory = (target & kHighBit) != 0;
        if (subdirectory != (level < 2))
            return false;
        if (level == 0 && !ReadId(reader, Get32(entry), path.type))
            return false;
        if (level == 1 && !ReadId(reader, Get32(entry), path.name))
            return false;
        if (subdirectory) {
            if (!ReadDirectory(reader, target & ~kHighBit, level + 1, path))
                return false;
            continue;
        }
        const std::uint32_t language = Get32(entry);
        if (language > 0xFFFF || !Inside(reader, target, kDataEntrySize))
            return false;
        const std::uint8_t* data = reader.section + reader.treeStart + target;
        path.language = static_cast<std::uint16_t>(language);
        path.dataRva = Get32(data);
        path.size = Get32(data + 4);
        path.codePage = Get32(data + 8);
        reader.resources.push_back(path);
    }
    return true;
}

bool IdLess(const ResourceId& a, const ResourceId& b)
{
    // Named entries come first; the loader looks both kinds up by binary search.
    if (a.name.empty() != b.name.empty())
        return !a.name.empty();
    return a.name.empty() ? a.number < b.number : a.name < b.name;
}

bool SameId(const ResourceId& a, const ResourceId& b)
{
    return a.name == b.name && a.number == b.number;
}

bool ResourceLess(const Resource& a, const Resource& b)
{
    if (!SameId(a.type, b.type))
        return IdLess(a.type, b.type);
    if (!SameId(a.name, b.name))
        return IdLess(a.name, b.name);
    return a.language < b.language;
}

// A directory before it is placed: its entries, each leading to a
// directory of the next level or, at the last level, to a resource (its
// index in the loader's order).
struct ShapeEntry {
    ResourceId id;  // a language at the last level
    std::size_t next = 0;
    std::size_t nameOffset = 0;  // once placed, for a name
};

struct ShapeDirectory {
    std::vector<ShapeEntry> entries;
    std::size_t offset = 0;  // once placed
};

// The directories level by level, from resources in the loader's order:
// the root lists the types, a type's directory its names, a name's
// directory its languages.
std::array<std::vector<ShapeDirectory>, 3> ShapeOf(const std::vector<Resource>& resources,
                                                    const std::vector<std::size_t>& order)
{
    std::array<std::vector<ShapeDirectory>, 3> levels;
    levels[0].resize(1);
    for (std::size_t i = 0; i < order.size(); ++i) {
        const Resource& resource = resources[order[i]];
        const bool newType = i == 0 || !SameId(resource.type, resources[order[i - 1]].type);
        if (newType) {
            levels[0].back().entries.push_back({resource.type, levels[1].size()});
            levels[1].emplace_back();
        }
        if (newType || !SameId(resource.name, resources[order[i - 1]].name)) {
            levels[1].back().entries.push_back({resource.name, levels[2].size()});
            levels[2].emplace_back();
        }
        ResourceId language;
        language.number = resource.language;
        levels[2].back().entries.push_back({language, i});
    }
    return levels;
}

std::size_t DirectorySize(const ShapeDirectory& directory)
{
    return kDirectorySize + directory.entries.size() * kEntrySize;
}

} // namespace

bool ReadResourceTree(const std::uint8_t* section, std::size_t sectionSize, std::uint32_t sectionRva,
                      std::uint32_t treeRva, std::vector<Resource>& resources)
{
    resources.clear();
    if (treeRva < sectionRva || treeRva - sectionRva >= sectionSize)
        return false;
    TreeReader reader{section, sectionSize, treeRva - sectionRva, sectionSize / kEntrySize, resources};
    Resource path;
    if (!ReadDirectory(reader, 0, 0, path))
        return false;
    std::sort(resources.begin(), resources.end(), ResourceLess);
    for (std::size_t i = 1; i < resources.size(); ++i) {
        if (!ResourceLess(resources[i - 1], resources[i]))
            return false;  // the same resource twice
    }
    return true;
}

ResourceTreeLayout LayOutResourceTree(const std::vector<Resource>& resources)
{
    std::vector<std::size_t> order(resources.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return ResourceLess(resources[a], resources[b]); });
    std::array<std::vector<ShapeDirectory>, 3> levels = ShapeOf(resources, order);

    // Every part's offset, in the order of the file: the directories level
    // by level, the data entries, then the names, each type's before its
    // names'.
    ResourceTreeLayout layout;
    std::size_t next = 0;
    const auto place = [&next](std::size_t size) {
        const std::size_t at = next;
        next += size;
        return at;
    };
    for (std::vector<ShapeDirectory>& level : levels) {
        for (ShapeDirectory& directory : level)
            directory.offset = place(DirectorySize(directory));
    }
    for (std::size_t i = 0; i < order.size(); ++i)
        layout.dataEntries.push_back({place(kDataEntrySize), order[i]});
    const auto placeName = [&](ShapeEntry& entry) {
        if (entry.id.name.empty())
            return;
        entry.nameOffset = place(2 + entry.id.name.size() * 2);
        layout.names.push_back({entry.nameOffset, entry.id.name});
    };
    for (ShapeEntry& type : levels[0].front().entries) {
        placeName(type);
        for (ShapeEntry& name : levels[1][type.next].entries)
            placeName(name);
    }
    layout.size = next;

    // The directories and their entries, each pointing at a part placed above.
    for (std::size_t level = 0; level < levels.size(); ++level) {
        for (const ShapeDirectory& directory : levels[level]) {
            ResourceTreeDirectory placed{directory.offset, 0, 0};
            for (std::size_t i = 0; i < directory.entries.size(); ++i) {
                const ShapeEntry& entry = directory.entries[i];
                const bool named = !entry.id.name.empty();
                if (named)
                    ++placed.named;
                else
                    ++placed.numbered;
                const std::size_t id = named ? kHighBit | entry.nameOffset : entry.id.number;
                const std::size_t target = level + 1 < levels.size()
                                               ? kHighBit | levels[level + 1][entry.next].offset
                                               : layout.dataEntries[entry.next].offset;
                layout.entries.push_back({directory.offset + kDirectorySize + i * kEntrySize,
                                          static_cast<std::uint32_t>(id), static_cast<std::uint32_t>(target)});
            }
            layout.directories.push_back(placed);
        }
    }
    return layout;
}

std::vector<std::uint8_t> WriteResourceTree(const ResourceTreeLayout& layout, const std::vector<Resource>& resources)
{
    std::vector<std::uint8_t> tree(layout.size, 0);
    for (const ResourceTreeDirectory& directory : layout.directories) {
        Put16(&tree[directory.offset + 12], directory.named);
        Put16(&tree[directory.offset + 14], directory.numbered);
    }
    for (const ResourceTreeEntry& entry : layout.entries) {
        Put32(&tree[entry.offset], entry.id);
        Put32(&tree[entry.offset + 4], entry.target);
    }
    for (const ResourceTreeDataEntry& data : layout.dataEntries) {
        const Resource& resource = resources[data.resource];
        Put32(&tree[data.offset], resource.dataRva);
        Put32(&tree[data.offset + 4], resource.size);
        Put32(&tree[data.offset + 8], resource.codePage);
    }
    for (const ResourceTreeName& name : layout.names) {
        Put16(&tree[name.offset], static_cast<std::uint16_t>(name.text.size()));
        for (std::size_t i = 0; i < name.text.size(); ++i)
            Put16(&tree[name.offset + 2 + i * 2], static_cast<std::uint16_t>(name.text[i]));
    }
    return tree;
}
