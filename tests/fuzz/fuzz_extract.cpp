// The name a slot is extracted to, from any path and any slot 0 to 15.
//
// Input fields: the slot (its digits, modulo 16), then the path; further
// raw line feeds belong to the path.

#include "fuzz_input.h"

#include "payload/extract.h"

#include <cstring>

namespace {

bool IsSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

std::wstring SlashesAsBackslashes(std::wstring text)
{
    for (wchar_t& c : text) {
        if (c == L'/')
            c = L'\\';
    }
    return text;
}

bool IsAsciiLetter(wchar_t c)
{
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

// Paths whose folder is plain: a colon only as a drive's ("D:"), and never
// two separators in a row. Elsewhere only the limits are checked.
bool IsPlainPath(const std::wstring& path)
{
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] == L':' && (i != 1 || !IsAsciiLetter(path[0])))
            return false;
        if (i > 0 && IsSeparator(path[i]) && IsSeparator(path[i - 1]))
            return false;
    }
    return true;
}

struct Expected {
    std::wstring folder;         // the given folder, as given
    std::wstring stem;
    std::wstring extension;
    std::wstring newStem;
    std::wstring lastComponent;  // of the result
};

Expected Expect(const std::wstring& path, int index)
{
    Expected e;
    size_t start = (path.size() >= 2 && path[1] == L':') ? 2 : 0;
    for (size_t i = start; i < path.size(); ++i) {
        if (IsSeparator(path[i]))
            start = i + 1;
    }
    e.folder = path.substr(0, start);
    const std::wstring last = path.substr(start);
    const size_t dot = last.rfind(L'.');
    e.stem = last.substr(0, dot);
    e.extension = dot == std::wstring::npos ? std::wstring() : last.substr(dot);
    e.newStem = e.stem + (index != 0 ? std::to_wstring(index) : std::wstring());
    // A dot left in the stem already gives the new name an extension.
    e.lastComponent = e.newStem + (e.newStem.find(L'.') == std::wstring::npos ? e.extension : std::wstring());
    return e;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::uint8_t* newline = static_cast<const std::uint8_t*>(std::memchr(data, '\n', size));
    const size_t indexBytes = newline ? static_cast<size_t>(newline - data) : size;
    const std::vector<std::uint32_t> numbers = fuzz::Numbers(fuzz::DecodeUnits(data, indexBytes));
    const int index = static_cast<int>(fuzz::NumberOrZero(numbers, 0) % 16);
    const std::wstring path =
        newline ? fuzz::DecodeUnits(newline + 1, size - indexBytes - 1) : std::wstring();

    const std::wstring untouched = L"untouched:" + path;
    std::wstring rebuilt = untouched;
    const bool ok = RebuildExtractPath(path, index, rebuilt);
    if (!ok) {
        FUZZ_CHECK(rebuilt == untouched);
    } else {
        FUZZ_CHECK(rebuilt.size() < kMaxPathChars);
        size_t lastStart = 0;
        for (size_t i = 0; i < rebuilt.size(); ++i) {
            if (IsSeparator(rebuilt[i]))
                lastStart = i + 1;
        }
        if (index != 0)
            FUZZ_CHECK(rebuilt.find(std::to_wstring(index), lastStart) != std::wstring::npos);
    }

    // Rebuilding in place reads the original first.
    std::wstring inPlace = path;
    FUZZ_CHECK(RebuildExtractPath(inPlace, index, inPlace) == ok);
    FUZZ_CHECK(inPlace == (ok ? rebuilt : path));

    const Expected e = Expect(path, index);
    if (ok) {
        FUZZ_CHECK(e.stem.size() + (index >= 10 ? 2 : index != 0 ? 1 : 0) < kMaxNamePartChars);
        FUZZ_CHECK(e.extension.size() < kMaxNamePartChars);
        FUZZ_CHECK(path.size() < kMaxPathChars);
    }
    if (!IsPlainPath(path))
        return 0;

    const bool fits = path.size() < kMaxPathChars && e.newStem.size() < kMaxNamePartChars &&
                      e.extension.size() < kMaxNamePartChars;
    std::wstring folder = e.folder;
    if (folder.size() == 2 && folder[1] == L':')
        folder += L'\\';  // D:fix.msp goes to the root of D:
    FUZZ_CHECK(ok == (fits && folder.size() + e.lastComponent.size() < kMaxPathChars));
    if (!ok)
        return 0;

    // Same folder, the last separator written as a backslash; the slot's
    // number ends the stem of the last component.
    FUZZ_CHECK(fuzz::EndsWith(rebuilt, e.lastComponent));
    const std::wstring rebuiltFolder = rebuilt.substr(0, rebuilt.size() - e.lastComponent.size());
    FUZZ_CHECK(SlashesAsBackslashes(rebuiltFolder) == SlashesAsBackslashes(folder));
    if (index != 0) {
        const std::wstring digits = std::to_wstring(index);
        FUZZ_CHECK(e.lastComponent.find(digits) != std::wstring::npos);
        FUZZ_CHECK(fuzz::EndsWith(e.newStem, digits));
    } else {
        FUZZ_CHECK(e.lastComponent == e.stem + (e.stem.find(L'.') == std::wstring::npos ? e.extension
                                                                                        : std::wstring()));
    }
    return 0;
}
