#include "payload/summary_info.h"

#include "payload/ansi_text.h"
#include "shared/little_endian.h"

#include <cstring>

namespace {

// FMTID_SummaryInformation {F29F85E0-4FF9-1068-AB91-08002B27B3D9}, as stored.
constexpr std::uint8_t kSummaryFormatId[16] = {0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10,
                                               0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9};
constexpr std::size_t kSetHeaderSize = 28;
constexpr std::size_t kSectionListEnd = kSetHeaderSize + 20;
constexpr std::uint64_t kSectionHeaderSize = 8;

// The type Wine's installer gives each property id; empty for the ids it
// stops reading at (0, the dictionary; 10, 17 and all from 20 on).
std::uint32_t ExpectedType(std::uint32_t id)
{
    switch (id) {
    case 1:
        return kSummaryInt16;
    case 2: case 3: case 4: case 5: case 6: case 7: case 8: case 9: case 18:
        return kSummaryText;
    case 11: case 12: case 13:
        return kSummaryTime;
    case 14: case 15: case 16: case 19:
        return kSummaryInt32;
    default:
        return kSummaryEmpty;
    }
}

// A stored value as Wine's installer keeps it: converted to the id's type,
// or absent when it does not convert. Stored empty becomes empty text, as
// the installer's conversion makes it.
SummaryProperty Convert(std::uint32_t expected, std::uint32_t stored, const std::uint8_t* value, std::uint32_t length)
{
    SummaryProperty property;
    const std::int32_t number = static_cast<std::int32_t>(Get32(value));
    if (expected == kSummaryText && (stored == kSummaryText || stored == kSummaryEmpty)) {
        property.type = kSummaryText;
        // Wine's installer ends the value at its last byte, whatever is there.
        const std::size_t kept = stored == kSummaryText && length > 0 ? length - 1 : 0;
        const void* nul = std::memchr(value + 4, 0, kept);
        property.text.assign(reinterpret_cast<const char*>(value + 4),
                             nul != nullptr ? static_cast<const std::uint8_t*>(nul) - (value + 4) : kept);
    } else if (expected == kSummaryInt16 && stored == kSummaryInt16) {
        property.type = kSummaryInt16;
        property.number = static_cast<std::int16_t>(number & 0xFFFF);
    } else if (expected == kSummaryInt16 && stored == kSummaryInt32 && number >= -32768 && number <= 32767) {
        property.type = kSummaryInt16;
        property.number = number;
    } else if (expected == kSummaryInt32 && (stored == kSummaryInt32 || stored == kSummaryInt16)) {
        property.type = kSummaryInt32;
        property.number = stored == kSummaryInt16 ? static_cast<std::int16_t>(number & 0xFFFF) : number;
    } else if (expected == kSummaryTime && stored == kSummaryTime) {
        property.type = kSummaryTime;
    }
    return property;
}

constexpr unsigned kSummaryRevisionNumber = 9;

bool IsGuid(const std::wstring& text)
{
    if (text.size() != 38 || text.front() != L'{' || text.back() != L'}')
        return false;
    for (size_t i = 1; i < 37; ++i) {
        const wchar_t c = text[i];
        const bool hex = (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F') || (c >= L'a' && c <= L'f');
        if (i == 9 || i == 14 || i == 19 || i == 24 ? c != L'-' : !hex)
            return false;
    }
    return true;
}

} // namespace

bool HasPackageClass(const CompoundFile& file)
{
    // {000C1082-...} transform, {000C1084-...} database, {000C1086-...} patch.
    static const std::uint8_t kClassTail[14] = {0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0,
                                                0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
    if (file.entries.empty())
        return false;
    const std::uint8_t* id = file.entries[kRootEntry].classId;
    return (id[0] == 0x82 || id[0] == 0x84 || id[0] == 0x86) && id[1] == 0x10 &&
           std::memcmp(id + 2, kClassTail, sizeof kClassTail) == 0;
}

bool ParseSummaryInformation(const std::uint8_t* bytes, std::size_t size, SummaryInformation& info)
{
    info = SummaryInformation();
    if (bytes == nullptr || size < kSectionListEnd || bytes[0] != 0xFE || bytes[1] != 0xFF ||
        std::memcmp(bytes + kSetHeaderSize, kSummaryFormatId, sizeof kSummaryFormatId) != 0)
        return false;
    // Only the first section counts; its property table must lie within it,
    // and it within the stream.
    const std::uint64_t sectionAt = Get32(bytes + kSectionListEnd - 4);
    if (sectionAt + kSectionHeaderSize > size)
        return false;
    const std::uint8_t* section = bytes + sectionAt;
    const std::uint64_t sectionSize = Get32(section);
    const std::uint32_t count = Get32(section + 4);
    if (count > kSummaryPropertyLimit || sectionSize < kSectionHeaderSize + count * 8ull ||
        sectionSize > size - sectionAt)
        return false;

    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t id = Get32(section + kSectionHeaderSize + i * 8);
        const std::uint64_t at = Get32(section + kSectionHeaderSize + i * 8 + 4);
        const std::uint32_t expected = id < kSummaryPropertyLimit ? ExpectedType(id) : kSummaryEmpty;
        // Where Wine's installer stops: an id it does not know, or a value
        // that would run past the section.
        if (expected == kSummaryEmpty || at + 8 > sectionSize)
            break;
        const std::uint32_t stored = Get32(section + at);
        const std::uint32_t length = Get32(section + at + 4);
        if ((stored == kSummaryTime && at + 12 > sectionSize) ||
            (stored == kSummaryText && at + 8 + length > sectionSize))
            break;
        info.properties[id] = Convert(expected, stored, section + at + 4, length);
    }
    return true;
}

unsigned SummaryCodePageOf(const SummaryInformation& info)
{
    const SummaryProperty& codePage = info.properties[kSummaryCodePage];
    return codePage.type == kSummaryInt16 ? static_cast<std::uint16_t>(codePage.number) : 0;
}

bool ReadSummaryInformation(const CompoundFile& file, SummaryInformation& info)
{
    info = SummaryInformation();
    const std::uint32_t entry = FindChild(file, kRootEntry, u"\005SummaryInformation");
    std::vector<std::uint8_t> stream;
    if (entry == kNoEntry || !ReadStream(file, entry, stream, kMaxSummaryStreamBytes))
        return false;
    ParseSummaryInformation(stream.data(), stream.size(), info);
    return true;
}

SummaryTextResult ReadSummaryText(const CompoundFile& file, unsigned property, std::wstring& text,
                                  SummaryTextConverter convert)
{
    SummaryInformation info;
    if (!ReadSummaryInformation(file, info))
        return kSummaryUnreadable;
    if (property >= kSummaryPropertyLimit || info.properties[property].type != kSummaryText)
        return kSummaryTextAbsent;
    text = (convert != nullptr ? convert : WidenAnsiText)(info.properties[property].text, SummaryCodePageOf(info));
    return kSummaryTextPresent;
}

std::wstring PatchCodeOf(const CompoundFile& file)
{
    std::wstring revision;
    ReadSummaryText(file, kSummaryRevisionNumber, revision, nullptr);
    const std::wstring first = revision.substr(0, 38);
    return IsGuid(first) ? first : std::wstring();
}
