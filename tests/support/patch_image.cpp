#include "support/patch_image.h"

#include "support/compound_file_image.h"

namespace {

// {000C1086-0000-0000-C000-000000000046}, the class of a patch package, as stored.
const std::uint8_t kPatchClass[16] = {0x86, 0x10, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00,
                                      0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

} // namespace

std::vector<std::uint8_t> PatchImage(const std::vector<SummaryValue>& summary)
{
    ImageOptions options;
    std::copy(std::begin(kPatchClass), std::end(kPatchClass), options.rootClassId);
    return CompoundFileImage({{{u"\005SummaryInformation"}, summary_stream_bytes(summary)}}, options);
}

std::vector<std::uint8_t> PatchImage(const std::wstring& keywords, const std::wstring& templateValue,
                                     const std::wstring& patchCode)
{
    std::vector<SummaryValue> values = {{1, false, 1252, ""}, {5, true, 0, Narrow(keywords)},
                                        {7, true, 0, Narrow(templateValue)}};
    if (!patchCode.empty())
        values.push_back({9, true, 0, Narrow(patchCode)});
    return PatchImage(values);
}
