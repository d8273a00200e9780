#include "payload/compound_file.h"

#include "shared/little_endian.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

constexpr std::size_t kHeaderSize = 512;
constexpr std::size_t kEntrySize = 128;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
// Sector numbers from here up are markers, never sectors.
constexpr std::uint32_t kFirstMarker = 0xFFFFFFFB;
constexpr std::uint32_t kHeaderFatSlots = 109;
constexpr std::uint32_t kMiniSectorSize = 64;
constexpr std::uint64_t kMiniStreamCutoff = 4096;

std::uint64_t CeilDiv(std::uint64_t value, std::uint64_t unit)
{
    return value / unit + (value % unit != 0 ? 1 : 0);
}

// The `size` bytes at `offset`, read only within the source.
bool ReadAt(const CompoundFile& file, std::uint64_t offset, std::uint8_t* out, std::size_t size)
{
    return offset <= file.source.size && size <= file.source.size - offset &&
           file.source.read(file.source.context, offset, out, size);
}

std::uint64_t SectorOffset(const CompoundFile& file, std::uint32_t sector)
{
    return (static_cast<std::uint64_t>(sector) + 1) * file.sectorSize;
}

// The allocation table (FAT or mini FAT) sector a chain walk read last:
// the entries of a stream written in one go follow one another, so a walk
// reads each table sector once rather than once per entry, and a chain
// that jumps from table sector to table sector pays a sector's read per
// step, which a reader's caller can bound by the bytes it lets be read.
struct TableCursor {
    explicit TableCursor(const std::vector<std::uint32_t>& sectors) : tableSectors(sectors) {}
    const std::vector<std::uint32_t>& tableSectors;
    std::size_t loaded = SIZE_MAX;
    std::vector<std::uint8_t> bytes;
};

// The table entry of `sector`, read where it lies in the file.
bool NextSector(const CompoundFile& file, TableCursor& table, std::uint32_t sector, std::uint32_t& next)
{
    const std::uint32_t perSector = file.sectorSize / 4;
    const std::size_t index = sector / perSector;
    if (index >= table.tableSectors.size())
        return false;
    if (index != table.loaded) {
        table.loaded = SIZE_MAX;
        table.bytes.resize(file.sectorSize);
        if (!ReadAt(file, SectorOffset(file, table.tableSectors[index]), table.bytes.data(), table.bytes.size()))
            return false;
        table.loaded = index;
    }
    next = Get32(table.bytes.data() + (sector % perSector) * 4);
    return true;
}

// Follows a FAT chain: to its end when `wanted` is 0, else for `wanted`
// sectors. Every sector must lie in the file and come up once, and a chain
// to its end may be at most `longest` sectors.
bool CollectChain(const CompoundFile& file, std::uint32_t start, std::uint64_t wanted,
                  std::vector<std::uint32_t>& sectors, std::uint64_t longest = kFirstMarker)
{
    sectors.clear();
    if (wanted > file.sectorCount)
        return false;
    std::vector<bool> seen(file.sectorCount, false);
    TableCursor fat(file.fatSectors);
    std::uint32_t sector = start;
    while (wanted == 0 ? sector != kEndOfChain : sectors.size() < wanted) {
        if (sector >= file.sectorCount || seen[sector] || sectors.size() >= longest)
            return false;
        seen[sector] = true;
        sectors.push_back(sector);
        if (wanted != 0 && sectors.size() == wanted)
            break;
        if (!NextSector(file, fat, sector, sector))
            return false;
    }
    return true;
}

// The FAT's own sectors: the first 109 listed in the header, the rest in
// the DIFAT chain, whose last slot per sector links to the next one.
bool CollectFatSectors(const std::uint8_t* header, CompoundFile& file)
{
    const std::uint32_t fatCount = Get32(header + 0x2C);
    if (fatCount > file.sectorCount)
        return false;
    file.fatSectors.reserve(fatCount);
    for (std::uint32_t i = 0; i < fatCount && i < kHeaderFatSlots; ++i)
        file.fatSectors.push_back(Get32(header + 0x4C + i * 4));

    const std::uint32_t slotsPerSector = file.sectorSize / 4 - 1;
    std::vector<bool> seen(fatCount > kHeaderFatSlots ? file.sectorCount : 0, false);
    std::vector<std::uint8_t> slots(file.sectorSize);
    std::uint32_t difat = Get32(header + 0x44);
    while (file.fatSectors.size() < fatCount) {
        if (difat >= file.sectorCount || seen[difat] || !ReadAt(file, SectorOffset(file, difat), slots.data(), slots.size()))
            return false;
        seen[difat] = true;
        for (std::uint32_t i = 0; i < slotsPerSector && file.fatSectors.size() < fatCount; ++i)
            file.fatSectors.push_back(Get32(slots.data() + i * 4));
        difat = Get32(slots.data() + slotsPerSector * 4);
    }
    for (std::uint32_t sector : file.fatSectors) {
        if (sector >= file.sectorCount)
            return false;
    }
    return true;
}

DirectoryEntry ParseEntry(const std::uint8_t* p, bool fullSizes)
{
    DirectoryEntry entry;
    // The length counts bytes with the terminator; 32 units at most.
    std::size_t units = Get16(p + 0x40);
    units = (units > 64 ? 64 : units) / 2;
    for (std::size_t i = 0; i + 1 < units; ++i)
        entry.name.push_back(static_cast<char16_t>(Get16(p + i * 2)));
    const std::uint8_t type = p[0x42];
    entry.type = (type == kEntryStorage || type == kEntryStream || type == kEntryRoot) ? type : 0;
    entry.left = Get32(p + 0x44);
    entry.right = Get32(p + 0x48);
    entry.child = Get32(p + 0x4C);
    std::memcpy(entry.classId, p + 0x50, sizeof entry.classId);
    entry.start = Get32(p + 0x74);
    entry.size = Get32(p + 0x78);
    // Old writers leave junk in the high half with 512-byte sectors.
    if (fullSizes)
        entry.size |= static_cast<std::uint64_t>(Get32(p + 0x7C)) << 32;
    return entry;
}

bool ReadDirectory(const std::uint8_t* header, CompoundFile& file)
{
    std::vector<std::uint32_t> sectors;
    const std::size_t perSector = file.sectorSize / kEntrySize;
    if (!CollectChain(file, Get32(header + 0x30), 0, sectors, kMaxDirectoryEntries / perSector) || sectors.empty())
        return false;
    const bool fullSizes = file.sectorSize != 512;
    std::vector<std::uint8_t> bytes(file.sectorSize);
    for (std::uint32_t sector : sectors) {
        if (!ReadAt(file, SectorOffset(file, sector), bytes.data(), bytes.size()))
            return false;
        for (std::size_t at = 0; at < file.sectorSize; at += kEntrySize)
            file.entries.push_back(ParseEntry(bytes.data() + at, fullSizes));
    }
    return file.entries[kRootEntry].type == kEntryRoot;
}

// Every entry reachable from the root must be a storage or a stream,
// reached once: then no later walk can loop, and a recursion over storages
// ends within kMaxStorageDepth levels. Real installer files use two or three.
bool CheckTree(const CompoundFile& file)
{
    std::vector<bool> seen(file.entries.size(), false);
    seen[kRootEntry] = true;
    std::vector<std::pair<std::uint32_t, unsigned>> pending;
    pending.emplace_back(file.entries[kRootEntry].child, 1);
    while (!pending.empty()) {
        const std::uint32_t index = pending.back().first;
        const unsigned depth = pending.back().second;
        pending.pop_back();
        if (index == kNoEntry)
            continue;
        if (index >= file.entries.size() || seen[index] || depth > kMaxStorageDepth)
            return false;
        seen[index] = true;
        const DirectoryEntry& entry = file.entries[index];
        if (entry.type != kEntryStorage && entry.type != kEntryStream)
            return false;
        pending.emplace_back(entry.left, depth);
        pending.emplace_back(entry.right, depth);
        if (entry.type == kEntryStorage)
            pending.emplace_back(entry.child, depth + 1);
    }
    return true;
}

bool ReadMiniStreamMaps(const std::uint8_t* header, CompoundFile& file)
{
    const std::uint32_t miniFatStart = Get32(header + 0x3C);
    if (miniFatStart != kEndOfChain && miniFatStart != kFreeSector &&
        !CollectChain(file, miniFatStart, 0, file.miniFatSectors))
        return false;
    const DirectoryEntry& root = file.entries[kRootEntry];
    file.miniStreamSize = root.size;
    if (root.size == 0)
        return true;
    return CollectChain(file, root.start, CeilDiv(root.size, file.sectorSize), file.miniStreamSectors);
}

// The stream's sectors, read a run of neighbours at a time: a stream
// written in one go lies in one run, which a file source reads in one call.
bool ReadFromSectors(const CompoundFile& file, std::uint32_t start, std::size_t size, std::uint8_t* out)
{
    std::vector<std::uint32_t> sectors;
    if (!CollectChain(file, start, CeilDiv(size, file.sectorSize), sectors))
        return false;
    std::size_t done = 0;
    for (std::size_t i = 0; i < sectors.size();) {
        std::size_t run = 1;
        while (i + run < sectors.size() && sectors[i + run] == sectors[i] + run)
            ++run;
        const std::size_t part = static_cast<std::size_t>(
            std::min<std::uint64_t>(size - done, static_cast<std::uint64_t>(run) * file.sectorSize));
        if (!ReadAt(file, SectorOffset(file, sectors[i]), out + done, part))
            return false;
        done += part;
        i += run;
    }
    return true;
}

bool ReadFromMiniStream(const CompoundFile& file, std::uint32_t start, std::size_t size, std::uint8_t* out)
{
    const std::uint64_t miniSectors = CeilDiv(file.miniStreamSize, kMiniSectorSize);
    const std::uint64_t wanted = CeilDiv(size, kMiniSectorSize);
    if (wanted > miniSectors)
        return false;
    // At most 64 mini sectors below the cutoff: the ones met are few
    // enough to look through, where a map of the whole mini stream would
    // cost every read its size.
    std::vector<std::uint32_t> met;
    TableCursor miniFat(file.miniFatSectors);
    std::uint32_t sector = start;
    for (std::size_t i = 0; i < wanted; ++i) {
        if (sector >= miniSectors || std::find(met.begin(), met.end(), sector) != met.end())
            return false;
        met.push_back(sector);
        // A mini sector never straddles two sectors: 64 divides both sizes.
        const std::uint64_t at = static_cast<std::uint64_t>(sector) * kMiniSectorSize;
        const std::uint64_t from = SectorOffset(file, file.miniStreamSectors[at / file.sectorSize]) + at % file.sectorSize;
        const std::size_t done = i * kMiniSectorSize;
        const std::size_t part = size - done < kMiniSectorSize ? size - done : kMiniSectorSize;
        if (!ReadAt(file, from, out + done, part))
            return false;
        if (i + 1 < wanted && !NextSector(file, miniFat, sector, sector))
            return false;
    }
    return true;
}

bool ReadMemory(void* context, std::uint64_t offset, std::uint8_t* out, std::size_t size)
{
    std::memcpy(out, static_cast<const std::uint8_t*>(context) + offset, size);
    return true;
}

// Upper case as the format folds names: ASCII and Latin-1 letters; other
// units compare as they are.
char16_t FoldNameUnit(char16_t c)
{
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
        return static_cast<char16_t>(c - 0x20);
    if (c == 0xFF)
        return 0x178;
    return c;
}

} // namespace

ByteSource MemorySource(const std::uint8_t* bytes, std::size_t size)
{
    ByteSource source;
    source.read = ReadMemory;
    // Only ever read through.
    source.context = const_cast<std::uint8_t*>(bytes);
    source.size = bytes != nullptr ? size : 0;
    return source;
}

bool OpenCompoundFile(const ByteSource& source, CompoundFile& file)
{
    std::uint8_t header[kHeaderSize];
    if (source.read == nullptr || source.size < kHeaderSize || !source.read(source.context, 0, header, kHeaderSize) ||
        std::memcmp(header, kCompoundFileSignature, sizeof kCompoundFileSignature) != 0)
        return false;
    const std::uint16_t sectorShift = Get16(header + 0x1E);
    if (Get16(header + 0x1C) != 0xFFFE || (sectorShift != 9 && sectorShift != 12) ||
        Get16(header + 0x20) != 6 || Get32(header + 0x38) != kMiniStreamCutoff)
        return false;

    CompoundFile opened;
    opened.source = source;
    opened.sectorSize = 1u << sectorShift;
    // The header takes the whole first sector; a cut-off last sector is not counted.
    std::uint64_t sectors = source.size / opened.sectorSize;
    sectors = sectors == 0 ? 0 : sectors - 1;
    opened.sectorCount = static_cast<std::uint32_t>(sectors < kFirstMarker ? sectors : kFirstMarker);
    if (!CollectFatSectors(header, opened) || !ReadDirectory(header, opened) || !CheckTree(opened) ||
        !ReadMiniStreamMaps(header, opened))
        return false;
    file = std::move(opened);
    return true;
}

bool OpenCompoundFile(const std::uint8_t* bytes, std::size_t size, CompoundFile& file)
{
    return OpenCompoundFile(MemorySource(bytes, size), file);
}

bool ListChildren(const CompoundFile& file, std::uint32_t storage, std::vector<std::uint32_t>& children)
{
    children.clear();
    if (storage >= file.entries.size() ||
        (file.entries[storage].type != kEntryStorage && file.entries[storage].type != kEntryRoot))
        return false;
    // In order: the left subtree sorts before its node. The bound keeps a
    // record that was altered after opening from looping.
    std::vector<std::uint32_t> pending;
    std::uint32_t current = file.entries[storage].child;
    std::size_t steps = 0;
    while (current != kNoEntry || !pending.empty()) {
        while (current != kNoEntry) {
            if (current >= file.entries.size() || ++steps > file.entries.size()) {
                children.clear();
                return false;
            }
            pending.push_back(current);
            current = file.entries[current].left;
        }
        current = pending.back();
        pending.pop_back();
        children.push_back(current);
        current = file.entries[current].right;
    }
    return true;
}

namespace {

// Negative, zero or positive as `a` sorts before, with or after `b`.
int CompareEntryNames(const std::u16string& a, const std::u16string& b)
{
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char16_t left = FoldNameUnit(a[i]);
        const char16_t right = FoldNameUnit(b[i]);
        if (left != right)
            return left < right ? -1 : 1;
    }
    return 0;
}

} // namespace

bool SameEntryName(const std::u16string& a, const std::u16string& b)
{
    return CompareEntryNames(a, b) == 0;
}

// Down the storage's tree as the format orders it, as structured-storage
// readers look names up: siblings whose names fold alike, or a tree out of
// order, then give the entry those readers give, not the first one listed.
std::uint32_t FindChild(const CompoundFile& file, std::uint32_t storage, const std::u16string& name)
{
    if (storage >= file.entries.size() ||
        (file.entries[storage].type != kEntryStorage && file.entries[storage].type != kEntryRoot))
        return kNoEntry;
    std::uint32_t current = file.entries[storage].child;
    // CheckTree made every path finite; the bound keeps it so for any record.
    for (std::size_t step = 0; current < file.entries.size() && step < file.entries.size(); ++step) {
        const int order = CompareEntryNames(name, file.entries[current].name);
        if (order == 0)
            return current;
        current = order < 0 ? file.entries[current].left : file.entries[current].right;
    }
    return kNoEntry;
}

bool ReadStream(const CompoundFile& file, std::uint32_t entry, std::vector<std::uint8_t>& out,
                std::size_t maxBytes)
{
    out.clear();
    if (entry >= file.entries.size() || file.entries[entry].type != kEntryStream ||
        file.entries[entry].size > maxBytes)
        return false;
    const std::size_t size = static_cast<std::size_t>(file.entries[entry].size);
    if (size == 0)
        return true;
    // The size decides where the data lies; the chain must then hold it all,
    // which is checked before anything is allocated.
    const std::uint64_t available = size < kMiniStreamCutoff ? file.miniStreamSize
                                                             : static_cast<std::uint64_t>(file.sectorCount) * file.sectorSize;
    if (size > available)
        return false;
    out.resize(size);
    const bool read = size < kMiniStreamCutoff ? ReadFromMiniStream(file, file.entries[entry].start, size, out.data())
                                               : ReadFromSectors(file, file.entries[entry].start, size, out.data());
    if (!read)
        out.clear();
    return read;
}
