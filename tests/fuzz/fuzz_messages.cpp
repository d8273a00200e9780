// Message texts: a string out of an arbitrary string-table block, and the
// placeholder filled into an arbitrary catalogue text.
//
// Input: the first byte picks the string's position (signed, so a few
// negative and past-the-block positions occur); the rest, as little-endian
// 16-bit units, is the block, held in memory of exactly its size so that any
// read past it is caught. The same bytes, as text fields, give a format and
// the value put into it.

#include "fuzz_input.h"

#include "messages/catalogue.h"
#include "messages/outcome_box.h"

#include <memory>

namespace {

std::wstring ExpectedString(const std::uint16_t* block, std::size_t units, int position)
{
    // The start of every string the block holds, then the one asked for.
    std::vector<std::size_t> starts;
    for (std::size_t at = 0; at < units; at += 1 + std::size_t(block[at]))
        starts.push_back(at);
    const std::size_t wanted = position < 0 ? 0 : std::size_t(position);
    if (wanted >= starts.size())
        return std::wstring();
    const std::size_t at = starts[wanted];
    const std::size_t length = block[at];
    if (at + 1 + length > units)
        return std::wstring();
    return std::wstring(block + at + 1, block + at + 1 + length);
}

void CheckPlaceholder(const std::wstring& format, const std::wstring& value)
{
    const std::wstring filled = FillPlaceholders(format, {value});
    size_t first = std::wstring::npos;
    for (size_t i = 0; i + 1 < format.size() && first == std::wstring::npos; ++i) {
        if (format[i] == L'%' && (format[i + 1] == L's' || format[i + 1] == L'd'))
            first = i;
    }
    if (first == std::wstring::npos) {
        FUZZ_CHECK(filled == format);
        return;
    }
    FUZZ_CHECK(filled.size() == format.size() - 2 + value.size());
    FUZZ_CHECK(filled.compare(0, first, format, 0, first) == 0);
    FUZZ_CHECK(filled.compare(first, value.size(), value) == 0);
    FUZZ_CHECK(filled.compare(first + value.size(), std::wstring::npos, format, first + 2) == 0);
    // A second value goes where the rest of the format has its first
    // placeholder, never into the first value.
    const std::wstring rest = format.substr(first + 2);
    FUZZ_CHECK(FillPlaceholders(format, {value, value}) ==
               format.substr(0, first) + value + FillPlaceholders(rest, {value}));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const int position = static_cast<int>(static_cast<std::int8_t>(data[0])) / 4;
    const std::size_t units = (size - 1) / 2;
    std::unique_ptr<std::uint16_t[]> block(new std::uint16_t[units]);
    for (std::size_t i = 0; i < units; ++i)
        block[i] = static_cast<std::uint16_t>(data[1 + 2 * i] | (data[2 + 2 * i] << 8));

    const std::wstring text = StringFromBlock(block.get(), units, position);
    FUZZ_CHECK(text.size() < units || (units == 0 && text.empty()));
    for (wchar_t c : text)
        FUZZ_CHECK(c >= 0 && c <= 0xFFFF);
    FUZZ_CHECK(text == ExpectedString(block.get(), units, position));

    // Block ids: sixteen strings to a block, counted from 1.
    const int id = static_cast<int>(units);
    FUZZ_CHECK((StringBlockOf(id) - 1) * kStringsPerBlock <= id && id < StringBlockOf(id) * kStringsPerBlock);

    const std::vector<std::wstring> fields = fuzz::Fields(data, size);
    CheckPlaceholder(fuzz::FieldOrEmpty(fields, 0), fuzz::FieldOrEmpty(fields, 1));
    CheckPlaceholder(fuzz::FieldOrEmpty(fields, 1), fuzz::FieldOrEmpty(fields, 0));
    return 0;
}
