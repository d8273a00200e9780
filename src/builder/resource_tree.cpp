#include "builder/resource_tree.h"

#include "shared/little_endian.h"

#include <algorithm>

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

// The tree's shape: how many directories of each level, and where its
// parts go: directories, data entries, then names.
struct TreeShape {
    std::vector<std::size_t> typeFirst;  // index of each type's first resource
    std::vector<std::size_t> nameFirst;  // index of each name's first resource
    std::size_t dataEntries = 0;  // offset of the first data entry
    std::size_t names = 0;  // offset of the first name
    std::size_t size = 0;  // of the whole tree
};

TreeShape ShapeOf(const std::vector<Resource>& sorted)
{
    TreeShape shape;
    std::size_t stringBytes = 0;
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        const bool newType = i == 0 || !SameId(sorted[i].type, sorted[i - 1].type);
        if (newType) {
            shape.typeFirst.push_back(i);
            stringBytes += sorted[i].type.name.empty() ? 0 : 2 + sorted[i].type.name.size() * 2;
        }
        if (newType || !SameId(sorted[i].name, sorted[i - 1].name)) {
            shape.nameFirst.push_back(i);
            stringBytes += sorted[i].name.name.empty() ? 0 : 2 + sorted[i].name.name.size() * 2;
        }
    }
    // A root, a directory per type and one per name, each with its entries.
    shape.dataEntries = kDirectorySize * (1 + shape.typeFirst.size() + shape.nameFirst.size()) +
                        kEntrySize * (shape.typeFirst.size() + shape.nameFirst.size() + sorted.size());
    shape.names = shape.dataEntries + kDataEntrySize * sorted.size();
    shape.size = shape.names + stringBytes;
    return shape;
}

void PutDirectory(std::vector<std::uint8_t>& tree, std::size_t at, std::size_t named, std::size_t numbered)
{
    Put16(&tree[at + 12], static_cast<std::uint16_t>(named));
    Put16(&tree[at + 14], static_cast<std::uint16_t>(numbered));
}

// The names, written one after another behind the data entries.
struct TreeWriter {
    std::vector<std::uint8_t>& tree;
    std::size_t nextString;

    std::uint32_t IdField(const ResourceId& id)
    {
        if (id.name.empty())
            return id.number;
        const std::size_t at = nextString;
        Put16(&tree[at], static_cast<std::uint16_t>(id.name.size()));
        for (std::size_t i = 0; i < id.name.size(); ++i)
            Put16(&tree[at + 2 + i * 2], static_cast<std::uint16_t>(id.name[i]));
        nextString += 2 + id.name.size() * 2;
        return kHighBit | static_cast<std::uint32_t>(at);
    }
};

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

std::size_t ResourceTreeSize(const std::vector<Resource>& resources)
{
    std::vector<Resource> sorted = resources;
    std::sort(sorted.begin(), sorted.end(), ResourceLess);
    return ShapeOf(sorted).size;
}

std::vector<std::uint8_t> WriteResourceTree(std::vector<Resource> resources)
{
    std::sort(resources.begin(), resources.end(), ResourceLess);
    const TreeShape shape = ShapeOf(resources);
    const std::size_t dataEntries = shape.dataEntries;
    std::vector<std::uint8_t> tree(shape.size, 0);
    TreeWriter writer{tree, shape.names};

    // Directories level by level: the root, the types' name directories
    // (one entry per name), then the names' language directories.
    const std::size_t types = shape.typeFirst.size();
    std::size_t nameDirectory = kDirectorySize + kEntrySize * types;
    std::size_t languageDirectory = nameDirectory + kDirectorySize * types + kEntrySize * shape.nameFirst.size();

    std::size_t namedTypes = 0;
    std::size_t nameIndex = 0;
    for (std::size_t t = 0; t < types; ++t) {
        const std::size_t first = shape.typeFirst[t];
        const std::size_t end = t + 1 < types ? shape.typeFirst[t + 1] : resources.size();
        namedTypes += resources[first].type.name.empty() ? 0 : 1;
        const std::size_t rootEntry = kDirectorySize + t * kEntrySize;
        Put32(&tree[rootEntry], writer.IdField(resources[first].type));
        Put32(&tree[rootEntry + 4], kHighBit | static_cast<std::uint32_t>(nameDirectory));

        std::size_t namedNames = 0;
        std::size_t names = 0;
        const std::size_t typeDirectory = nameDirectory;
        for (; nameIndex < shape.nameFirst.size() && shape.nameFirst[nameIndex] < end; ++nameIndex, ++names) {
            const std::size_t nameFirst = shape.nameFirst[nameIndex];
            const std::size_t nameEnd =
                nameIndex + 1 < shape.nameFirst.size() ? shape.nameFirst[nameIndex + 1] : resources.size();
            namedNames += resources[nameFirst].name.name.empty() ? 0 : 1;
            const std::size_t nameEntry = typeDirectory + kDirectorySize + names * kEntrySize;
            Put32(&tree[nameEntry], writer.IdField(resources[nameFirst].name));
            Put32(&tree[nameEntry + 4], kHighBit | static_cast<std::uint32_t>(languageDirectory));
            for (std::size_t i = nameFirst; i < nameEnd; ++i) {
                const std::size_t languageEntry = languageDirectory + kDirectorySize + (i - nameFirst) * kEntrySize;
                const std::size_t dataEntry = dataEntries + i * kDataEntrySize;
                Put32(&tree[languageEntry], resources[i].language);
                Put32(&tree[languageEntry + 4], static_cast<std::uint32_t>(dataEntry));
                Put32(&tree[dataEntry], resources[i].dataRva);
                Put32(&tree[dataEntry + 4], resources[i].size);
                Put32(&tree[dataEntry + 8], resources[i].codePage);
            }
            PutDirectory(tree, languageDirectory, 0, nameEnd - nameFirst);
            languageDirectory += kDirectorySize + (nameEnd - nameFirst) * kEntrySize;
        }
        PutDirectory(tree, typeDirectory, namedNames, names - namedNames);
        nameDirectory += kDirectorySize + names * kEntrySize;
    }
    PutDirectory(tree, 0, namedTypes, types - namedTypes);
    return tree;
}
