#include "builder/patch_file.h"

#include "shared/utf8_text.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace fs = std::filesystem;

namespace {

fs::path PathOf(const std::wstring& name)
{
    return fs::path(Utf8FromWide(name));
}

} // namespace

PatchFileFacts LookAtPatchFile(const std::wstring& file, const std::wstring& output)
{
    PatchFileFacts facts;
    std::error_code error;
    const fs::path path = PathOf(file);
    const fs::file_status status = fs::status(path, error);
    facts.exists = fs::exists(status);
    facts.regular = fs::is_regular_file(status);
    if (!facts.regular)
        return facts;
    facts.size = fs::file_size(path, error);
    facts.isOutput = fs::equivalent(path, PathOf(output), error);
    const fs::path full = fs::canonical(path, error);
    facts.fullPath = WideFromUtf8(error ? fs::absolute(path, error).string() : full.string());

    std::ifstream in(path, std::ios::binary);
    std::uint8_t head[sizeof kCompoundFileSignature] = {};
    facts.readable = in.is_open();
    in.read(reinterpret_cast<char*>(head), sizeof head);
    facts.signature = in.gcount() == sizeof head && std::equal(head, head + sizeof head, kCompoundFileSignature);
    return facts;
}

bool ReadPatchFile(const std::wstring& file, std::vector<std::uint8_t>& bytes)
{
    std::ifstream in(PathOf(file), std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}
