#include "embedded_patch_fake.h"

#include "payload/embedded_patch.h"

#include <map>

namespace {

std::map<std::wstring, std::vector<std::uint8_t>>& Patches()
{
    static std::map<std::wstring, std::vector<std::uint8_t>> patches;
    return patches;
}

} // namespace

namespace fake_patches {

void Reset() { Patches().clear(); }
void Set(int slot, const std::vector<std::uint8_t>& bytes) { Patches()[PatchResourceName(slot)] = bytes; }

} // namespace fake_patches

// Like the resource lookup: an empty slot holds no patch.
bool FindEmbeddedPatch(const std::wstring& resourceName, PatchBytes& patch)
{
    const auto found = Patches().find(resourceName);
    if (found == Patches().end() || found->second.empty())
        return false;
    patch.data = found->second.data();
    patch.size = found->second.size();
    return true;
}
