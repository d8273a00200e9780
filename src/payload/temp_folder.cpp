#include "payload/temp_folder.h"

#include <cwchar>

namespace {

constexpr int kNumberDigits = 10;

// What CreateFileW with CREATE_NEW answers when the name is in use:
// ERROR_FILE_EXISTS for a file or a link, ERROR_ALREADY_EXISTS for some
// file systems, ERROR_ACCESS_DENIED on Windows for a file waiting to be
// deleted or a folder (Wine answers ERROR_FILE_EXISTS for both).
constexpr unsigned long kTakenNameErrors[] = {80, 183, 5};

bool IsSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

} // namespace

void StripTrailingBackslash(wchar_t* path)
{
    const size_t length = std::wcslen(path);
    if (length == 0 || path[length - 1] != L'\\')
        return;
    if (length == 1 || path[length - 2] != L':')
        path[length - 1] = L'\0';
}

std::wstring TempCopyName(const std::wstring& folder, std::uint32_t number)
{
    std::wstring name = folder;
    if (name.empty() || name.back() != L'\\')
        name += L'\\';
    std::wstring digits = std::to_wstring(number);
    digits.insert(0, kNumberDigits - digits.size(), L'0');
    return name + L"MSP" + digits;
}

bool IsTempNameTaken(unsigned long error)
{
    for (unsigned long taken : kTakenNameErrors) {
        if (error == taken)
            return true;
    }
    return false;
}

bool IsFullPath(const std::wstring& path)
{
    if (path.size() >= 3 && path[1] == L':' && IsSeparator(path[2]))
        return true;
    return path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
}

std::wstring ChooseTempCopyFolder(RunAccount account, const TempFolderCandidates& candidates)
{
    if (account == kRunAsSystem && !candidates.systemOnly.empty())
        return candidates.systemOnly;
    if (account == kRunElevated)
        return candidates.windowsTemp;
    return candidates.tmp.empty() ? candidates.accountTemp : candidates.tmp;
}
