#include "compound_file_image.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFree = 0xFFFFFFFF;
constexpr std::uint32_t kFatMarker = 0xFFFFFFFD;
constexpr std::uint32_t kDifatMarker = 0xFFFFFFFC;
constexpr std::uint32_t kNoEntry = 0xFFFFFFFF;
constexpr std::uint32_t kHeaderFatSlots = 109;
constexpr std::size_t kEntrySize = 128;
constexpr std::size_t kMiniCutoff = 4096;
constexpr std::size_t kMiniSectorSize = 64;

const std::uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

struct Node {
    std::u16string name;
    std::uint8_t type = 0;
    std::vector<std::uint32_t> children;
    std::uint32_t left = kNoEntry;
    std::uint32_t right = kNoEntry;
    std::uint32_t child = kNoEntry;
    std::uint32_t start = kEndOfChain;
    std::uint64_t size = 0;
};

std::uint32_t CeilDiv(std::size_t value, std::size_t unit)
{
    return static_cast<std::uint32_t>((value + unit - 1) / unit);
}

void Put16(std::vector<std::uint8_t>& image, std::size_t offset, std::uint32_t value)
{
    image[offset] = static_cast<std::uint8_t>(value);
    image[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

char16_t Upper(char16_t c)
{
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
}

// The directory's order: shorter names first, then unit by unit, upper-cased.
bool NameLess(const std::u16string& a, const std::u16string& b)
{
    if (a.size() != b.size())
        return a.size() < b.size();
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i]))
            return Upper(a[i]) < Upper(b[i]);
    }
    return false;
}

std::uint32_t ChildNamed(const std::vector<Node>& nodes, std::uint32_t parent, const std::u16string& name)
{
    for (std::uint32_t child : nodes[parent].children) {
        if (nodes[child].name == name)
            return child;
    }
    return kNoEntry;
}

// A balanced tree over sorted siblings; every node black, which readers accept.
std::uint32_t SiblingTree(std::vector<Node>& nodes, const std::vector<std::uint32_t>& sorted, std::size_t begin,
                          std::size_t end)
{
    if (begin == end)
        return kNoEntry;
    const std::size_t middle = begin + (end - begin) / 2;
    Node& node = nodes[sorted[middle]];
    node.left = SiblingTree(nodes, sorted, begin, middle);
    nodes[sorted[middle]].right = SiblingTree(nodes, sorted, middle + 1, end);
    return sorted[middle];
}

void LinkChain(std::vector<std::uint32_t>& table, std::uint32_t first, std::uint32_t count)
{
    for (std::uint32_t i = 0; i < count; ++i)
        table[first + i] = i + 1 < count ? first + i + 1 : kEndOfChain;
}

void WriteTable(std::vector<std::uint8_t>& image, const ImageLayout& layout, const std::vector<std::uint32_t>& sectors,
                const std::vector<std::uint32_t>& table)
{
    const std::size_t perSector = layout.sectorSize / 4;
    for (std::size_t i = 0; i < table.size(); ++i)
        PutLittle32(image, SectorOffset(layout, sectors[i / perSector]) + (i % perSector) * 4, table[i]);
}

void WriteEntry(std::vector<std::uint8_t>& image, std::size_t at, const Node& node, const std::uint8_t* classId)
{
    for (std::size_t i = 0; i < node.name.size() && i < 31; ++i)
        Put16(image, at + i * 2, node.name[i]);
    Put16(image, at + 0x40, static_cast<std::uint32_t>((std::min<std::size_t>(node.name.size(), 31) + 1) * 2));
    image[at + 0x42] = node.type;
    image[at + 0x43] = 1;  // black
    PutLittle32(image, at + kEntryLeftField, node.left);
    PutLittle32(image, at + kEntryRightField, node.right);
    PutLittle32(image, at + kEntryChildField, node.child);
    if (classId != nullptr)
        std::memcpy(&image[at + 0x50], classId, 16);
    PutLittle32(image, at + kEntryStartField, node.start);
    PutLittle32(image, at + kEntrySizeField, static_cast<std::uint32_t>(node.size));
    PutLittle32(image, at + kEntrySizeField + 4, static_cast<std::uint32_t>(node.size >> 32));
}

void WriteHeader(std::vector<std::uint8_t>& image, const ImageOptions& options, const ImageLayout& layout,
                 std::uint32_t miniFatStart)
{
    std::memcpy(image.data(), kSignature, sizeof kSignature);
    Put16(image, 0x18, 0x3E);
    Put16(image, 0x1A, options.sectorShift == 12 ? 4 : 3);
    Put16(image, 0x1C, 0xFFFE);
    Put16(image, 0x1E, options.sectorShift);
    Put16(image, 0x20, 6);
    // Only 4096-byte-sector files count their directory sectors.
    PutLittle32(image, 0x28, options.sectorShift == 12 ? static_cast<std::uint32_t>(layout.directorySectors.size()) : 0);
    PutLittle32(image, 0x2C, static_cast<std::uint32_t>(layout.fatSectors.size()));
    PutLittle32(image, 0x30, layout.directorySectors.front());
    PutLittle32(image, 0x38, static_cast<std::uint32_t>(kMiniCutoff));
    PutLittle32(image, 0x3C, miniFatStart);
    PutLittle32(image, 0x40, static_cast<std::uint32_t>(layout.miniFatSectors.size()));
    PutLittle32(image, 0x44, layout.difatSectors.empty() ? kEndOfChain : layout.difatSectors.front());
    PutLittle32(image, 0x48, static_cast<std::uint32_t>(layout.difatSectors.size()));
    for (std::uint32_t i = 0; i < kHeaderFatSlots; ++i)
        PutLittle32(image, 0x4C + i * 4, i < layout.fatSectors.size() ? layout.fatSectors[i] : kFree);
}

void WriteDifat(std::vector<std::uint8_t>& image, const ImageLayout& layout)
{
    const std::size_t slots = layout.sectorSize / 4 - 1;
    std::size_t next = kHeaderFatSlots;
    for (std::size_t d = 0; d < layout.difatSectors.size(); ++d) {
        const std::size_t at = SectorOffset(layout, layout.difatSectors[d]);
        for (std::size_t i = 0; i < slots; ++i, ++next)
            PutLittle32(image, at + i * 4, next < layout.fatSectors.size() ? layout.fatSectors[next] : kFree);
        PutLittle32(image, at + slots * 4,
                    d + 1 < layout.difatSectors.size() ? layout.difatSectors[d + 1] : kEndOfChain);
    }
}

void Append(std::vector<std::uint32_t>& sectors, std::uint32_t& next, std::uint32_t count)
{
    for (std::uint32_t i = 0; i < count; ++i)
        sectors.push_back(next++);
}

} // namespace

std::vector<std::uint8_t> CompoundFileImage(const std::vector<ImageStream>& streams)
{
    return CompoundFileImage(streams, ImageOptions());
}

std::vector<std::uint8_t> CompoundFileImage(const std::vector<ImageStream>& streams, const ImageOptions& options,
                                            ImageLayout* layoutOut)
{
    ImageLayout layout;
    layout.sectorSize = 1u << options.sectorShift;
    const std::uint32_t perSector = layout.sectorSize / 4;

    // The tree: entry 0 is the root, then storages and streams as met.
    std::vector<Node> nodes(1);
    nodes[0].name = u"Root Entry";
    nodes[0].type = 5;
    for (const ImageStream& stream : streams) {
        std::uint32_t parent = 0;
        for (std::size_t i = 0; i + 1 < stream.path.size(); ++i) {
            std::uint32_t storage = ChildNamed(nodes, parent, stream.path[i]);
            if (storage == kNoEntry) {
                storage = static_cast<std::uint32_t>(nodes.size());
                nodes.emplace_back();
                nodes.back().name = stream.path[i];
                nodes.back().type = 1;
                nodes[parent].children.push_back(storage);
            }
            parent = storage;
        }
        const std::uint32_t entry = static_cast<std::uint32_t>(nodes.size());
        nodes.emplace_back();
        nodes.back().name = stream.path.empty() ? std::u16string() : stream.path.back();
        nodes.back().type = 2;
        nodes.back().size = stream.bytes.size();
        nodes[parent].children.push_back(entry);
        layout.streamEntries.push_back(entry);
    }
    for (std::uint32_t i = 0; i < nodes.size(); ++i) {
        std::vector<std::uint32_t> sorted = nodes[i].children;
        std::sort(sorted.begin(), sorted.end(),
                  [&](std::uint32_t a, std::uint32_t b) { return NameLess(nodes[a].name, nodes[b].name); });
        nodes[i].child = SiblingTree(nodes, sorted, 0, sorted.size());
    }

    // Small streams go one after another into the mini stream.
    std::uint32_t miniSectors = 0;
    std::uint32_t bigSectors = 0;
    for (const ImageStream& stream : streams) {
        if (stream.bytes.empty())
            continue;
        if (stream.bytes.size() < kMiniCutoff)
            miniSectors += CeilDiv(stream.bytes.size(), kMiniSectorSize);
        else
            bigSectors += CeilDiv(stream.bytes.size(), layout.sectorSize);
    }
    const std::uint32_t directoryCount =
        CeilDiv(std::max(nodes.size(), options.minimumDirectoryEntries) * kEntrySize, layout.sectorSize);
    const std::uint32_t miniFatCount = CeilDiv(miniSectors * 4u, layout.sectorSize);
    const std::uint32_t miniStreamCount = CeilDiv(miniSectors * kMiniSectorSize, layout.sectorSize);
    const std::uint32_t dataCount = directoryCount + miniFatCount + miniStreamCount + bigSectors;
    std::uint32_t fatCount = std::max<std::uint32_t>(options.minimumFatSectors, 1);
    std::uint32_t difatCount = 0;
    for (;; ++fatCount) {
        difatCount = fatCount > kHeaderFatSlots ? CeilDiv(fatCount - kHeaderFatSlots, perSector - 1) : 0;
        if (static_cast<std::uint64_t>(fatCount) * perSector >= fatCount + difatCount + dataCount)
            break;
    }

    std::uint32_t next = 0;
    Append(layout.fatSectors, next, fatCount);
    Append(layout.difatSectors, next, difatCount);
    Append(layout.directorySectors, next, directoryCount);
    Append(layout.miniFatSectors, next, miniFatCount);
    std::vector<std::uint32_t> miniStreamSectors;
    Append(miniStreamSectors, next, miniStreamCount);

    std::vector<std::uint32_t> fat(static_cast<std::size_t>(fatCount) * perSector, kFree);
    for (std::uint32_t sector : layout.fatSectors)
        fat[sector] = kFatMarker;
    for (std::uint32_t sector : layout.difatSectors)
        fat[sector] = kDifatMarker;
    LinkChain(fat, layout.directorySectors.front(), directoryCount);
    if (miniFatCount > 0)
        LinkChain(fat, layout.miniFatSectors.front(), miniFatCount);
    if (miniStreamCount > 0)
        LinkChain(fat, miniStreamSectors.front(), miniStreamCount);

    std::vector<std::uint8_t> image((static_cast<std::size_t>(next) + bigSectors + 1) * layout.sectorSize, 0);
    std::vector<std::uint32_t> miniFat(static_cast<std::size_t>(miniFatCount) * perSector, kFree);
    std::uint32_t nextMini = 0;
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const std::vector<std::uint8_t>& bytes = streams[i].bytes;
        Node& node = nodes[layout.streamEntries[i]];
        if (bytes.empty()) {
            layout.streamStarts.push_back(kEndOfChain);
            continue;
        }
        if (bytes.size() < kMiniCutoff) {
            const std::uint32_t count = CeilDiv(bytes.size(), kMiniSectorSize);
            node.start = nextMini;
            LinkChain(miniFat, nextMini, count);
            for (std::uint32_t m = 0; m < count; ++m) {
                const std::size_t from = static_cast<std::size_t>(m) * kMiniSectorSize;
                const std::size_t at = static_cast<std::size_t>(nextMini + m) * kMiniSectorSize;
                const std::size_t part = std::min(kMiniSectorSize, bytes.size() - from);
                std::memcpy(&image[SectorOffset(layout, miniStreamSectors[at / layout.sectorSize]) +
                                   at % layout.sectorSize],
                            &bytes[from], part);
            }
            nextMini += count;
        } else {
            const std::uint32_t count = CeilDiv(bytes.size(), layout.sectorSize);
            node.start = next;
            LinkChain(fat, next, count);
            std::memcpy(&image[SectorOffset(layout, next)], bytes.data(), bytes.size());
            next += count;
        }
        layout.streamStarts.push_back(node.start);
    }
    nodes[0].start = miniStreamCount > 0 ? miniStreamSectors.front() : kEndOfChain;
    nodes[0].size = static_cast<std::uint64_t>(miniSectors) * kMiniSectorSize;

    WriteHeader(image, options, layout, miniFatCount > 0 ? layout.miniFatSectors.front() : kEndOfChain);
    WriteDifat(image, layout);
    WriteTable(image, layout, layout.fatSectors, fat);
    WriteTable(image, layout, layout.miniFatSectors, miniFat);
    const std::size_t entriesPerSector = layout.sectorSize / kEntrySize;
    for (std::uint32_t i = 0; i < directoryCount * entriesPerSector; ++i) {
        const std::size_t at = DirectoryEntryOffset(layout, i);
        if (i < nodes.size()) {
            WriteEntry(image, at, nodes[i], i == 0 ? options.rootClassId : nullptr);
        } else {
            PutLittle32(image, at + kEntryLeftField, kNoEntry);
            PutLittle32(image, at + kEntryRightField, kNoEntry);
            PutLittle32(image, at + kEntryChildField, kNoEntry);
        }
    }
    if (layoutOut != nullptr)
        *layoutOut = layout;
    return image;
}

std::size_t SectorOffset(const ImageLayout& layout, std::uint32_t sector)
{
    return (static_cast<std::size_t>(sector) + 1) * layout.sectorSize;
}

std::size_t FatEntryOffset(const ImageLayout& layout, std::uint32_t sector)
{
    const std::uint32_t perSector = layout.sectorSize / 4;
    return SectorOffset(layout, layout.fatSectors.at(sector / perSector)) + (sector % perSector) * 4;
}

std::size_t MiniFatEntryOffset(const ImageLayout& layout, std::uint32_t miniSector)
{
    const std::uint32_t perSector = layout.sectorSize / 4;
    return SectorOffset(layout, layout.miniFatSectors.at(miniSector / perSector)) + (miniSector % perSector) * 4;
}

std::size_t DirectoryEntryOffset(const ImageLayout& layout, std::uint32_t entry)
{
    const std::uint32_t perSector = layout.sectorSize / static_cast<std::uint32_t>(kEntrySize);
    return SectorOffset(layout, layout.directorySectors.at(entry / perSector)) + (entry % perSector) * kEntrySize;
}

void PutLittle32(std::vector<std::uint8_t>& image, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        image.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetLittle32(const std::vector<std::uint8_t>& image, std::size_t offset)
{
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value |= static_cast<std::uint32_t>(image.at(offset + i)) << (8 * i);
    return value;
}
