#include "builder/patch_removability.h"

#include "builder/database_streams.h"

namespace {

// The installer fixes the table's columns: Company (nullable), Property
// and Value, all strings, each stored for every row in turn
// ("MsiPatchMetadata Table").
constexpr std::size_t kMetadataColumns = 3;

} // namespace

// Only the installer's own row (Company Null) AllowRemoval with the value
// 1 lets a patch be removed; without the table or the row, or with any
// other value, only uninstalling the product removes the patch
// ("MsiPatchMetadata Table", "Uninstallable Patches"). Another company's
// AllowRemoval is that company's own property.
PatchRemovability ReadPatchRemovability(const CompoundFile& file)
{
    const std::uint32_t table = FindTableStream(file, kRootEntry, "MsiPatchMetadata");
    if (table == kNoEntry)
        return kPatchNotRemovable;
    DatabaseStrings strings;
    std::vector<std::uint8_t> rows;
    if (!ReadDatabaseStrings(file, kRootEntry, strings) || !ReadTableStream(file, table, rows))
        return kRemovabilityUnknown;
    const std::size_t width = strings.referenceSize;
    if (rows.size() % (kMetadataColumns * width) != 0)
        return kRemovabilityUnknown;
    std::uint32_t allowRemoval = 0, one = 0;
    if (!FindString(strings, "AllowRemoval", allowRemoval) || !FindString(strings, "1", one))
        return kRemovabilityUnknown;
    const std::size_t count = rows.size() / (kMetadataColumns * width);
    for (std::size_t row = 0; row < count && allowRemoval != 0; ++row) {
        const std::uint32_t company = StringReference(rows, row * width, width);
        const std::uint32_t property = StringReference(rows, (count + row) * width, width);
        if (company == 0 && property == allowRemoval) {
            const std::uint32_t value = StringReference(rows, (2 * count + row) * width, width);
            return one != 0 && value == one ? kPatchRemovable : kPatchNotRemovable;
        }
    }
    return kPatchNotRemovable;
}
