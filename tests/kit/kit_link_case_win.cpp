// Links at the paths the wrapper and build-wrapper.exe write to, and a
// junction above the wrapper's log and receipt: each run leaves the file a
// link names as it was, and behaves as the manual (docs/) says it does.
#include "kit_cases_win.h"
#include "kit_windows_cases_win.h"
#include "kit_files_win.h"
#include "kit_wine_win.h"
#include "text_win.h"

#include <winioctl.h>

namespace {

const char kTargetText[] = "the kit's own file, which no run may change\r\n";

// A symbolic link to a file. The unprivileged flag is refused as an unknown
// one before Windows 10 version 1703, where the kit's administrator rights
// are what counts (CreateSymbolicLinkW, learn.microsoft.com/windows/win32/
// api/winbase/nf-winbase-createsymboliclinkw).
std::wstring MakeFileLink(const std::wstring& link, const std::wstring& target)
{
    if (CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) ||
        CreateSymbolicLinkW(link.c_str(), target.c_str(), 0))
        return std::wstring();
    return L"cannot make the link " + link + L": error " + std::to_wstring(GetLastError());
}

// The mount-point layout of REPARSE_DATA_BUFFER (learn.microsoft.com/
// windows-hardware/drivers/ddi/ntifs/ns-ntifs-_reparse_data_buffer), which
// only the driver kit's headers declare: the substitute name in the
// object manager's form, then the name shown, each ending in a null.
struct MountPointBuffer {
    DWORD tag;
    WORD dataLength;
    WORD reserved;
    WORD substituteOffset, substituteLength, printOffset, printLength;
    wchar_t names[2 * MAX_PATH + 8];
};

// An empty folder at JUNCTION made a junction to the folder TARGET (a full
// path): FSCTL_SET_REPARSE_POINT with IO_REPARSE_TAG_MOUNT_POINT on a
// handle opened as the reparse point itself (learn.microsoft.com/windows/
// win32/api/winioctl/ni-winioctl-fsctl_set_reparse_point).
std::wstring MakeJunction(const std::wstring& junction, const std::wstring& target)
{
    const std::wstring substitute = L"\\??\\" + target;
    MountPointBuffer buffer = {};
    if (substitute.size() + target.size() + 2 > sizeof buffer.names / sizeof buffer.names[0])
        return L"the junction's target is too long: " + target;
    buffer.tag = IO_REPARSE_TAG_MOUNT_POINT;
    buffer.substituteLength = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
    buffer.printOffset = static_cast<WORD>(buffer.substituteLength + sizeof(wchar_t));
    buffer.printLength = static_cast<WORD>(target.size() * sizeof(wchar_t));
    substitute.copy(buffer.names, substitute.size());
    target.copy(buffer.names + substitute.size() + 1, target.size());
    buffer.dataLength = static_cast<WORD>(4 * sizeof(WORD) + buffer.printOffset + buffer.printLength + sizeof(wchar_t));
    if (!CreateDirectoryW(junction.c_str(), nullptr))
        return L"cannot make the folder " + junction + L": error " + std::to_wstring(GetLastError());
    HANDLE folder = CreateFileW(junction.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    DWORD returned = 0;
    const bool made = folder != INVALID_HANDLE_VALUE &&
                      DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, &buffer, 2 * sizeof(DWORD) + buffer.dataLength,
                                      nullptr, 0, &returned, nullptr);
    const DWORD error = GetLastError();
    if (folder != INVALID_HANDLE_VALUE) CloseHandle(folder);
    return made ? std::wstring() : L"cannot make the junction " + junction + L": error " + std::to_wstring(error);
}

bool IsReparsePoint(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

void ExpectTargetUntouched(Findings& found, const std::wstring& target, const wchar_t* after)
{
    std::string text;
    found.Holds(std::wstring(L"the link's target changed after ") + after,
                ReadWholeFile(target, text) && text == kTargetText);
}

}  // namespace

Findings Links(const Kit& kit, CaseJob& job)
{
    if (UnderWine())
        return NotPossibleUnderWine(L"Wine 8 shows a Unix link as its target and has no junctions to make");
    Findings found;
    const std::wstring target = kit.work + L"\\target.txt";
    found.Holds(L"cannot write " + target, WriteWholeFile(target, kTargetText));
    // d.msp's product is not installed: 1642, with and without /log or /json.
    const std::wstring logLink = kit.work + L"\\log-link.log", receiptLink = kit.work + L"\\receipt-link.json";
    found.Step(MakeFileLink(logLink, target));
    ExpectExit(found, kit, job, L"d.exe", L"/q /exitcode /log " + Quoted(logLink), 1642);
    ExpectTargetUntouched(found, target, L"/log");
    found.Step(MakeFileLink(receiptLink, target));
    ExpectExit(found, kit, job, L"d.exe", L"/q /exitcode /json " + Quoted(receiptLink), 1642);
    ExpectTargetUntouched(found, target, L"/json");

    // The builder's scratch file: refused. Its output: replaced, not followed.
    const std::wstring built = kit.work + L"\\built.exe", patch = Quoted(kit.dir + L"\\d.msp");
    found.Step(MakeFileLink(built + L".partial", target));
    ExpectExit(found, kit, job, L"build-wrapper.exe", L"-o " + Quoted(built) + L" " + patch, 2);
    ExpectTargetUntouched(found, target, L"a link at OUT.partial");
    found.Holds(L"OUT written past a link at OUT.partial", !FileExists(built));
    DeleteFileW((built + L".partial").c_str());
    found.Step(MakeFileLink(built, target));
    ExpectExit(found, kit, job, L"build-wrapper.exe", L"-o " + Quoted(built) + L" " + patch, 0);
    ExpectTargetUntouched(found, target, L"a link at OUT");
    found.Holds(L"OUT is still a link after the build", !IsReparsePoint(built) && FileExists(built));

    // A junction above the file: the log follows it, the receipt refuses
    // its folder.
    const std::wstring real = kit.work + L"\\real", junction = kit.work + L"\\junction";
    found.Holds(L"cannot make the folder " + real, CreateDirectoryW(real.c_str(), nullptr) != 0);
    found.Step(MakeJunction(junction, real));
    ExpectExit(found, kit, job, L"d.exe", L"/q /exitcode /log " + Quoted(junction + L"\\run.log"), 1642);
    found.Holds(L"no log written through a junction above it", FileExists(real + L"\\run.log"));
    ExpectExit(found, kit, job, L"d.exe", L"/q /exitcode /json " + Quoted(junction + L"\\receipt.json"), 1642);
    found.Holds(L"a receipt written into a junction", !FileExists(real + L"\\receipt.json"));
    return found;
}
