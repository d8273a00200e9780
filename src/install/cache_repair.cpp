#include "install/cache_repair.h"

#include "shared/ascii_case.h"

#include <algorithm>

namespace {

bool IsAsciiLetter(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// Characters no name on a drive holds ("Naming Files, Paths, and
// Namespaces"): the control characters and <>:"/\|?*.
bool IsPlainName(const std::wstring& name)
{
    return !name.empty() && std::none_of(name.begin(), name.end(), [](wchar_t c) {
        return c < L' ' || std::wstring(L"<>:\"/\\|?*").find(c) != std::wstring::npos;
    });
}

} // namespace

PutBackProblem SplitDrivePath(const std::wstring& path, std::vector<std::wstring>& names)
{
    names.clear();
    if (path.size() < 3 || !IsAsciiLetter(path[0]) || path[1] != L':' || path[2] != L'\\')
        return kPathNotOnDrive;
    names.push_back(path.substr(0, 2));
    for (size_t at = 3;;) {
        const size_t end = std::min(path.find(L'\\', at), path.size());
        const std::wstring name = path.substr(at, end - at);
        if (name == L"." || name == L"..")
            return kPathDotName;
        if (!IsPlainName(name))
            return kPathNotOnDrive;
        names.push_back(name);
        if (end == path.size())
            return kPutBackNoProblem;
        at = end + 1;
    }
}

PutBackProblem SplitPackagePath(const std::wstring& path, std::vector<std::wstring>& folder, std::wstring& file)
{
    const PutBackProblem problem = SplitDrivePath(path, folder);
    if (problem != kPutBackNoProblem)
        return problem;
    if (folder.size() < 2)
        return kPathNotOnDrive;
    file = folder.back();
    folder.pop_back();
    const std::wstring extension = L".msp";
    if (file.size() <= extension.size() ||
        !EqualsIgnoringAsciiCase(file.substr(file.size() - extension.size()), extension.c_str()))
        return kPathNotMsp;
    return kPutBackNoProblem;
}

PutBackAction PutBackActionOf(PutBackProblem problem, bool planOnly)
{
    if (problem == kPutBackNoProblem)
        return planOnly ? kPutBackPlanned : kPutBackDone;
    return problem == kInstallerFolderUnopened || problem == kWriteFailed ? kPutBackFailed : kPutBackRefused;
}

const wchar_t* PutBackActionName(PutBackAction action)
{
    switch (action) {
    case kPutBackDone:
        return L"put-back";
    case kPutBackPlanned:
        return L"would-put-back";
    case kPutBackFailed:
        return L"failed";
    default:
        return L"refused";
    }
}

std::wstring PutBackReason(const PutBack& putBack)
{
    const std::wstring error = L"error " + std::to_wstring(putBack.error);
    switch (putBack.problem) {
    case kPathNotOnDrive:
        return L"not a plain full path on a drive (a share, a device or relative path, or a character no file "
               L"name holds)";
    case kPathDotName:
        return L"it goes through . or ..";
    case kPathNotMsp:
        return L"not the name of a .msp file";
    case kPathThroughLink:
        return L"a link or other reparse point on the way";
    case kPathOtherFolder:
        return L"not directly inside the installer folder";
    case kPathFolderUnopened:
        return L"its folder cannot be opened, " + error;
    case kPathFileExists:
        return L"a file of that name stands there now, and is never overwritten";
    case kInstallerFolderUnopened:
        return L"the installer folder cannot be opened, " + error;
    case kWriteFailed:
        return L"writing it failed, " + error + L"; nothing of it is left";
    default:
        return std::wstring();
    }
}

std::wstring PutBackText(const PutBack& putBack, const std::wstring& productCode)
{
    const std::wstring copy = putBack.resourceName + L": the installer's copy of patch " + putBack.patchCode +
                              L" for product " + productCode;
    const std::wstring path = L" (" + putBack.path + L"); ";
    switch (putBack.action) {
    case kPutBackDone:
        return copy + L" was missing" + path + L"put back from this wrapper";
    case kPutBackPlanned:
        return copy + L" is missing" + path + L"would put back from this wrapper";
    default:
        return copy + L" is missing" + path + L"not put back: " + PutBackReason(putBack);
    }
}

void FoldPutBacksIntoHints(std::vector<FailureHint>& hints, const std::vector<PutBack>& putBacks)
{
    for (const PutBack& putBack : putBacks) {
        const std::wstring detail = putBack.patchCode + L" " + putBack.path;
        const auto hint = std::find_if(hints.begin(), hints.end(), [&](const FailureHint& hint) {
            return hint.kind == kHintPatchPackageMissing && hint.detail == detail;
        });
        if (hint == hints.end())
            continue;
        if (putBack.action == kPutBackDone || putBack.action == kPutBackPlanned)
            hints.erase(hint);
        else
            hint->detail += L"; not put back: " + PutBackReason(putBack);
    }
}
