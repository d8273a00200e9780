// The name a slot is extracted to, from any path and any slot 0 to 15.
//
// Input fields: the slot (its digits, modulo 16), then the path; further
// raw line feeds belong to the path.

#include "fuzz_input.h"

#include "payload/extract.h"

#include <algorithm>
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

// The given path cut after its last separator, searched from the right; a
// drive ("D:fix.msp") is never part of the last component.
struct Split {
    std::wstring folder;  // as given
    std::wstring last;
};

Split SplitFromTheRight(const std::wstring& path)
{
    const size_t drive = (path.size() >= 2 && path[1] == L':') ? 2 : 0;
    size_t cut = path.size();
    while (cut > drive && !IsSeparator(path[cut - 1]))
        --cut;
    return {path.substr(0, cut), path.substr(cut)};
}

// The name slot `index` is extracted to, by the dots of the given name: with
// none the number goes last; with one it goes before it and the extension
// stays; with more it goes before the last dot and the extension goes, as
// the dot left in the stem already makes one (fix.old.msp -> fix.old1).
std::wstring ExpectedName(const std::wstring& given, const std::wstring& number)
{
    const size_t dots = static_cast<size_t>(std::count(given.begin(), given.end(), L'.'));
    const size_t lastDot = given.find_last_of(L'.');
    if (dots == 0)
        return given + number;
    if (dots == 1)
        return given.substr(0, lastDot) + number + given.substr(lastDot);
    return given.substr(0, lastDot) + number;
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

    const Split given = SplitFromTheRight(path);
    const size_t dot = given.last.find_last_of(L'.');
    const size_t stemChars = dot == std::wstring::npos ? given.last.size() : dot;
    const size_t extensionChars = given.last.size() - stemChars;
    const std::wstring number = index != 0 ? std::to_wstring(index) : std::wstring();
    const bool fits = path.size() < kMaxPathChars && stemChars + number.size() < kMaxNamePartChars &&
                      extensionChars < kMaxNamePartChars;
    if (ok)
        FUZZ_CHECK(fits);
    if (!IsPlainPath(path))
        return 0;

    const std::wstring name = ExpectedName(given.last, number);
    std::wstring folder = given.folder;
    if (folder.size() == 2 && folder[1] == L':')
        folder += L'\\';  // D:fix.msp goes to the root of D:
    if (folder == L"/")
        folder.clear();  // "/q", a switch taken as the path, names a file here
    FUZZ_CHECK(ok == (fits && folder.size() + name.size() < kMaxPathChars));
    if (!ok)
        return 0;

    // Same folder, the last separator written as a backslash, then the name.
    FUZZ_CHECK(fuzz::EndsWith(rebuilt, name));
    const std::wstring rebuiltFolder = rebuilt.substr(0, rebuilt.size() - name.size());
    FUZZ_CHECK(SlashesAsBackslashes(rebuiltFolder) == SlashesAsBackslashes(folder));
    // A name with one dot keeps its extension, right after the slot number.
    if (dot != std::wstring::npos && given.last.find(L'.') == dot)
        FUZZ_CHECK(fuzz::EndsWith(rebuilt, number + given.last.substr(dot)));
    return 0;
}
