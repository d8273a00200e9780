#include "builder/patch_removability.h"

#include "builder/database_streams.h"

#include <set>
#include <string_view>

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
    std::set<std::uint32_t> allowRemoval, one;
    VisitStrings(strings, [&](std::uint32_t id, std::string_view text) {
        if (text == "AllowRemoval")
            allowRemoval.insert(id);
        else if (text == "1")
            one.insert(id);
    });
    const std::size_t count = rows.size() / (kMetadataColumns * width);
    for (std::size_t row = 0; row < count; ++row) {
        const std::uint32_t company = StringReference(rows, row * width, width);
        const std::uint32_t property = StringReference(rows, (count + row) * width, width);
        if (company == 0 && allowRemoval.count(property) != 0) {
            const std::uint32_t value = StringReference(rows, (2 * count + row) * width, width);
            return one.count(value) != 0 ? kPatchRemovable : kPatchNotRemovable;
        }
    }
    return kPatchNotRemovable;
}
