#include "builder/wrapper_manifest.h"

#include "builder/sha256.h"
#include "builder/wrapper_writer.h"
#include "shared/json_writer.h"
#include "version.h"

#include <memory>

namespace {

constexpr std::size_t kPieceSize = 1 << 20;

void WriteDigest(JsonWriter& json, const FileDigest& digest)
{
    WriteJsonKey(json, "size");
    WriteJsonInteger(json, static_cast<std::int64_t>(digest.size));
    WriteJsonKey(json, "sha256");
    WriteJsonString(json, digest.sha256);
}

std::vector<std::wstring> WarningsAbout(int slot, const BuildReport& report)
{
    std::vector<std::wstring> texts;
    for (const BuildWarning& warning : report.warnings) {
        if (warning.slot == slot)
            texts.push_back(warning.text);
    }
    return texts;
}

// A slot the checks did not read (--unchecked) has its file's facts only,
// and nothing known of its removal.
void WriteSlot(JsonWriter& json, const ManifestPatch& patch, const CheckedSlot* checked, const BuildReport& report)
{
    BeginJsonObject(json);
    WriteJsonKey(json, "slot");
    WriteJsonInteger(json, patch.slot);
    WriteJsonKey(json, "file");
    WriteJsonString(json, patch.file);
    WriteDigest(json, patch.digest);
    WriteJsonKey(json, "checked");
    WriteJsonBool(json, checked != nullptr);
    WriteJsonKey(json, "removable");
    if (checked == nullptr || checked->removal == kRemovabilityUnknown)
        WriteJsonNull(json);
    else
        WriteJsonBool(json, checked->removal == kPatchRemovable);
    if (checked != nullptr) {
        WriteJsonKey(json, "patchCode");
        if (checked->patchCode.empty())
            WriteJsonNull(json);
        else
            WriteJsonString(json, checked->patchCode);
        WriteJsonKey(json, "products");
        WriteJsonStrings(json, checked->products);
        WriteJsonKey(json, "upgradeVersion");
        WriteJsonString(json, checked->upgradeVersion);
        WriteJsonKey(json, "targetVersions");
        WriteJsonStrings(json, checked->targetVersions);
        WriteJsonKey(json, "warnings");
        WriteJsonStrings(json, WarningsAbout(patch.slot, report));
    }
    EndJsonObject(json);
}

} // namespace

std::wstring ManifestNameRefusal(const std::wstring& manifest, const std::wstring& output,
                                 const std::vector<std::wstring>& scratch)
{
    if (IsFolder(manifest))
        return L"cannot write '" + manifest + L"': " + FileProblemText(kFileFolder);
    std::vector<std::wstring> written = scratch;
    written.push_back(output);
    for (const std::wstring& name : written) {
        if (NamesOneFile(manifest, name) || NamesOneFile(ManifestScratchFile(manifest), name))
            return L"manifest file '" + manifest + L"' or its scratch file is the output or one of the build's "
                   L"own scratch files";
    }
    return std::wstring();
}

bool DigestOfFile(FileHandle file, FileDigest& digest)
{
    const std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[kPieceSize]);
    Sha256 hash;
    std::uint64_t at = 0;
    std::int64_t got;
    while ((got = ReadFromFileAt(file, at, buffer.get(), kPieceSize)) > 0) {
        AddToSha256(hash, buffer.get(), static_cast<std::size_t>(got));
        at += static_cast<std::uint64_t>(got);
    }
    digest = {at, FinishSha256(hash)};
    return got == 0;
}

std::string ManifestText(const std::wstring& arch, const FileDigest& wrapper, const std::vector<ManifestPatch>& patches,
                         const BuildReport& report)
{
    JsonWriter json;
    BeginJsonObject(json);
    WriteJsonKey(json, "schema");
    WriteJsonInteger(json, 2);
    WriteJsonKey(json, "builderVersion");
    WriteJsonString(json, L"" WRAPPER_VERSION_TEXT);
    WriteJsonKey(json, "architecture");
    WriteJsonString(json, arch);
    WriteJsonKey(json, "wrapper");
    BeginJsonObject(json);
    WriteDigest(json, wrapper);
    EndJsonObject(json);
    // About the wrapper as a whole: no patch, an x86 image above 1 GB.
    WriteJsonKey(json, "warnings");
    WriteJsonStrings(json, WarningsAbout(0, report));
    WriteJsonKey(json, "slots");
    BeginJsonArray(json);
    for (const ManifestPatch& patch : patches) {
        const CheckedSlot* found = nullptr;
        for (const CheckedSlot& slot : report.checkedSlots) {
            if (slot.slot == patch.slot)
                found = &slot;
        }
        WriteSlot(json, patch, found, report);
    }
    EndJsonArray(json);
    EndJsonObject(json);
    return json.text;
}
