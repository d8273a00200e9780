#include "payload/extract.h"

namespace {

// Windows file APIs take either slash; treating both alike keeps the folder
// and the stem taken from the same place, so "D:/out/fix.msp" stays in D:/out.
bool IsSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

// The path without its last component; a drive root keeps its backslash
// (D:\fix.msp -> D:\) and a bare name gives an empty folder.
std::wstring FolderOf(const std::wstring& path)
{
    // A switch taken as the path ("/e /q") names a file in the current
    // folder, not one at the root of the drive.
    if (!path.empty() && path[0] == L'/' && path.find_first_of(L"\\/", 1) == std::wstring::npos)
        return std::wstring();
    size_t i = 0;
    // A leading root or UNC prefix is never cut off.
    if (i < path.size() && IsSeparator(path[i]))
        ++i;
    if (i < path.size() && IsSeparator(path[i]))
        ++i;
    size_t cut = i;
    for (; i < path.size(); ++i) {
        if (IsSeparator(path[i])) {
            cut = i;
        } else if (path[i] == L':') {
            cut = ++i;
            if (i < path.size() && IsSeparator(path[i]))
                cut = i + 1;
        }
    }
    return path.substr(0, cut);
}

// The last component, after any drive and folder.
std::wstring LastComponentOf(const std::wstring& path)
{
    size_t start = (path.size() >= 2 && path[1] == L':') ? 2 : 0;
    for (size_t i = start; i < path.size(); ++i) {
        if (IsSeparator(path[i]))
            start = i + 1;
    }
    return path.substr(start);
}

} // namespace

bool RebuildExtractPath(const std::wstring& path, int index, std::wstring& rebuilt)
{
    if (path.size() >= kMaxPathChars)
        return false;

    const std::wstring lastComponent = LastComponentOf(path);
    const size_t dot = lastComponent.rfind(L'.');
    std::wstring stem = lastComponent.substr(0, dot);
    const std::wstring extension = dot == std::wstring::npos ? std::wstring() : lastComponent.substr(dot);
    if (index != 0)
        stem += std::to_wstring(index);
    if (stem.size() >= kMaxNamePartChars || extension.size() >= kMaxNamePartChars)
        return false;

    std::wstring result = FolderOf(path);
    // Even before an empty stem: D:\out\.msp names ".msp" inside D:\out.
    if (!result.empty() && !IsSeparator(result.back()))
        result += L'\\';
    result += stem;
    // The extension goes on only when the new name has none: a dot kept in
    // the stem (fix.old.msp -> fix.old1) already makes one.
    if (LastComponentOf(result).find(L'.') == std::wstring::npos)
        result += extension;

    if (result.size() >= kMaxPathChars)
        return false;
    rebuilt = result;
    return true;
}
