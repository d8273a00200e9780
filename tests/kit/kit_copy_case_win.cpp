// The temporary copy of a patch the wrapper hands the installer: who may
// open it, and where it lies. The copy exists only while the installer call
// runs, so a thread of the driver watches the copies' folder for it.
#include "kit_windows_cases_win.h"
#include "kit_wine_win.h"

#include <aclapi.h>
#include <sddl.h>

#include <set>

#include "kit_cases_win.h"
#include "kit_debug_win.h"
#include "kit_files_win.h"
#include "text_win.h"
#include "kit/verdicts.h"

namespace {

// What a file made by the Wine probe below is given.
constexpr wchar_t kProbeDacl[] = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)";

// The owner and DACL of FILE's descriptor in SDDL (GetSecurityInfo,
// https://learn.microsoft.com/windows/win32/api/aclapi/nf-aclapi-getsecurityinfo):
// opened for READ_CONTROL alone, none of the read, write or delete access
// that sharing modes govern (dwShareMode of CreateFileW,
// https://learn.microsoft.com/windows/win32/api/fileapi/nf-fileapi-createfilew),
// nor a sharing mode of its own that would hinder the wrapper or the
// installer. False with the last-error value when it cannot be read; the
// watch tries again as long as the copy is there.
bool FileSecurityText(const std::wstring& path, std::wstring& sddl)
{
    HANDLE file = CreateFileW(path.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD error =
        GetSecurityInfo(file, SE_FILE_OBJECT, parts, nullptr, nullptr, nullptr, nullptr, &descriptor);
    CloseHandle(file);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return false;
    }
    LPWSTR text = nullptr;
    const bool converted =
        ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, parts, &text, nullptr);
    LocalFree(descriptor);
    if (converted) sddl = text;
    LocalFree(text);
    return converted;
}

std::set<std::wstring> CopiesIn(const std::wstring& folder)
{
    std::set<std::wstring> names;
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW((folder + L"\\MSP*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.insert(folder + L"\\" + found.cFileName);
    while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// The watching thread's brief and what it saw: the first copy that was not
// there before whose descriptor it could read.
struct CopyWatch {
    std::wstring folder;
    std::set<std::wstring> before;
    volatile LONG stop = 0;
    std::wstring copy, sddl;
    std::wstring missed;  // a copy seen but not read, and why
};

DWORD WINAPI WatchCopies(void* parameter)
{
    CopyWatch& watch = *static_cast<CopyWatch*>(parameter);
    while (!InterlockedCompareExchange(&watch.stop, 0, 0)) {
        for (const std::wstring& copy : CopiesIn(watch.folder)) {
            if (watch.before.count(copy)) continue;
            if (FileSecurityText(copy, watch.sddl)) {
                watch.copy = copy;
                return 0;
            }
            watch.missed = copy + L" (error " + std::to_wstring(GetLastError()) + L")";
        }
        Sleep(1);
    }
    return 0;
}

// Whether a file made in FOLDER with a protected DACL reads back with it:
// empty when it does, else what was read. Wine 8 here shows every file
// with a descriptor made from the Unix file (owned by the user, SYSTEM and
// the user allowed), whatever the file was created with.
std::wstring WineDropsDescriptors(const std::wstring& folder)
{
    const std::wstring probe = folder + L"\\descriptor-probe";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kProbeDacl, SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return L"no descriptor to make the probe with";
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_ALWAYS, 0, nullptr);
    LocalFree(descriptor);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    std::wstring sddl;
    const bool read = FileSecurityText(probe, sddl);
    DeleteFileW(probe.c_str());
    return read && sddl.find(L"D:P(") != std::wstring::npos ? std::wstring() : L"[" + sddl + L"]";
}

// Where the copies of an elevated administrator's run go, as run.cmd
// starts the kit: the Windows temporary folder (see ChooseTempCopyFolder).
std::wstring ElevatedCopyFolder()
{
    wchar_t windows[MAX_PATH] = {};
    const UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::wstring() : std::wstring(windows, length) + L"\\Temp";
}

}  // namespace

// The SID of the user the kit runs as (GetTokenInformation with TokenUser,
// https://learn.microsoft.com/windows/win32/api/securitybaseapi/nf-securitybaseapi-gettokeninformation),
// written as SDDL writes it in a descriptor: where SDDL has an alias for
// it, such as "LA" for the built-in Administrator
// (https://learn.microsoft.com/windows/win32/secauthz/sid-strings), that
// alias. The wrappers the case starts run with the kit's own token. Empty
// when it cannot be read, and then only SYSTEM and Administrators pass.
std::wstring UserInSddl()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return std::wstring();
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } buffer;
    DWORD size = 0;
    const BOOL read = GetTokenInformation(token, TokenUser, &buffer, sizeof buffer, &size);
    CloseHandle(token);
    SECURITY_DESCRIPTOR descriptor;
    LPWSTR text = nullptr;
    if (!read || !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorOwner(&descriptor, buffer.user.User.Sid, FALSE) ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorW(&descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION,
                                                              &text, nullptr))
        return std::wstring();
    const std::wstring owner = text;
    LocalFree(text);
    return owner.compare(0, 2, L"O:") == 0 ? owner.substr(2) : std::wstring();
}

Findings CopyDescriptor(const Kit& kit, CaseJob& job)
{
    const KitProduct& alpha = kit.products[kAlpha];
    const std::wstring log = kit.work + L"\\copy.log";
    Findings found;
    found.Step(InstallFresh(job, alpha));
    CopyWatch watch;
    watch.folder = ElevatedCopyFolder();
    watch.before = CopiesIn(watch.folder);
    HANDLE thread = CreateThread(nullptr, 0, WatchCopies, &watch, 0, nullptr);
    found.Holds(L"no thread to watch " + watch.folder + L" with", thread != nullptr);
    DWORD code = 0;
    found.Step(RunKitProgram(kit, job, L"a.exe", L"/q /exitcode /log " + Quoted(log), code));
    found.Same(L"a.exe /q: exit code", std::to_wstring(code), L"0");
    InterlockedExchange(&watch.stop, 1);
    if (thread) WaitForSingleObject(thread, INFINITE), CloseHandle(thread);

    std::string text;
    ReadWholeFile(log, text);
    found.Step(CopyFolderVerdict(LogFolderLine(from_utf8(text)), watch.folder).reason);
    if (watch.copy.empty()) {
        found.Step(L"no copy of the patch was seen in " + watch.folder +
                   (watch.missed.empty() ? L"" : L"; one could not be read: " + watch.missed));
        return found;
    }
    const std::wstring dropped = UnderWine() ? WineDropsDescriptors(watch.folder) : std::wstring();
    if (dropped.empty())
        found.Step(CopySecurityVerdict(watch.sddl, UserInSddl()).reason);
    else
        found.WineCannotShow(L"a file made in " + watch.folder + L" with the DACL " + kProbeDacl + L" reads back as " +
                             dropped + L": the copy, which was seen, shows no descriptor of its own");
    return found;
}

// A file made with the default descriptor, read the same way and judged
// for the same user: the verdict must find it open to more than SYSTEM and
// Administrators.
Findings CopyCheckCatchesDefaultDescriptor(const Kit& kit, CaseJob&)
{
    const std::wstring file = kit.work + L"\\default-descriptor";
    Findings found;
    std::wstring sddl;
    found.Holds(L"cannot write " + file, WriteWholeFile(file, "patch"));
    found.Holds(L"cannot read the descriptor of " + file, FileSecurityText(file, sddl));
    found.Holds(L"the check took a default descriptor for safe: " + sddl,
                !CopySecurityVerdict(sddl, UserInSddl()).passed);
    return found;
}
