// kit-driver: runs the Windows kit's checks on the machine it runs on, one
// case after another, and cleans up after them.
//
//   kit-driver KIT_FOLDER [/keep]
//
// KIT_FOLDER holds what ./windows-kit wrote: the products, the patches, the
// wrappers and the test programs. First what the machine is (the
// preflight), then one line per case ("ok NAME", "FAIL NAME: why",
// "skipped NAME: reason"), each followed by a line per thing it saw that is
// no failure but worth a look ("note NAME: what"), then "N passed, M
// failed, K skipped", and KIT_FOLDER\junit.xml. Exit code 0 when no case
// failed, none was skipped (under Wine, a case may be skipped for what Wine
// cannot show) and the kit's products are gone again, 1 otherwise, 2 when
// the kit could not start: a bad command line, a kit on a network drive (a
// task that runs as SYSTEM does not see it), a package it cannot read, or
// one of its products installed already (its cases need them absent, and
// its cleanup would remove somebody's installation). KIT_FOLDER\logs keeps
// the verbose log of every installer call and the wrapper's own installer
// logs, by case; /keep keeps the runs' work folder too.
#include <windows.h>

#include <string>
#include <vector>

#include "kit_cases_win.h"
#include "kit_files_win.h"
#include "kit_junit_win.h"
#include "kit_wine_win.h"
#include "scratch_folder.h"
#include "text_win.h"

namespace {

// Long enough for a slow installer on a real machine; a box nobody answers
// costs this once.
constexpr DWORD kCaseLimitMs = 300000;

int Refused(const std::wstring& why)
{
    print_err(L"kit-driver: " + why + L"\n");
    return 2;
}

std::wstring FullFolderPath(const wchar_t* given)
{
    wchar_t full[MAX_PATH] = {};
    const DWORD length = GetFullPathNameW(given, MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH) return std::wstring();
    std::wstring path(full, length);
    if (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

// GetDriveTypeW's answer for the volume that holds PATH.
UINT DriveTypeOf(const std::wstring& path)
{
    wchar_t volume[MAX_PATH] = {};
    return GetVolumePathNameW(path.c_str(), volume, MAX_PATH) ? GetDriveTypeW(volume) : DRIVE_UNKNOWN;
}

const wchar_t* DriveTypeText(const std::wstring& path)
{
    switch (DriveTypeOf(path)) {
    case DRIVE_FIXED: return L"fixed";
    case DRIVE_REMOVABLE: return L"removable";
    case DRIVE_REMOTE: return L"network";
    case DRIVE_CDROM: return L"CD-ROM";
    case DRIVE_RAMDISK: return L"RAM";
    default: return L"unknown";
    }
}

CaseOutcome RunCase(const Kit& kit, const KitCase& kitCase)
{
    CaseOutcome outcome;
    outcome.name = kitCase.name;
    // A case finds only the installer logs of its own runs; they are kept
    // under its name.
    RemoveKitInstallerLogs();
    const ULONGLONG started = GetTickCount64();
    CaseJob job;
    job.logPrefix = kit.logs + L"\\" + outcome.name + L"-msiexec-";
    if (OpenCaseJob(job, kCaseLimitMs)) {
        const Findings found = kitCase.run(kit, job);
        outcome.why = job.timedOut ? L"timed out (" + found.why + L")" : found.why;
        outcome.notes = found.notes;
        if (outcome.why.empty() && !found.skipped.empty()) {
            outcome.status = CaseStatus::kSkipped;
            outcome.why = found.skipped;
        }
    } else {
        outcome.why = L"no job object: error " + std::to_wstring(GetLastError());
    }
    CloseCaseJob(job);
    RemoveKitInstallerLogs(kit.logs + L"\\" + outcome.name + L"-");
    outcome.seconds = static_cast<double>(GetTickCount64() - started) / 1000;
    if (outcome.status != CaseStatus::kSkipped)
        outcome.status = outcome.why.empty() ? CaseStatus::kPassed : CaseStatus::kFailed;
    return outcome;
}

void PrintOutcome(const CaseOutcome& outcome)
{
    switch (outcome.status) {
    case CaseStatus::kPassed: print_out(L"ok " + outcome.name + L"\n"); break;
    case CaseStatus::kFailed: print_out(L"FAIL " + outcome.name + L": " + outcome.why + L"\n"); break;
    case CaseStatus::kSkipped: print_out(L"skipped " + outcome.name + L": " + outcome.why + L"\n"); break;
    }
    for (const std::wstring& note : outcome.notes) print_out(L"note " + outcome.name + L": " + note + L"\n");
}

// Every product removed, and the installer logs of the runs: empty, or what is left.
std::wstring CleanUp(const Kit& kit)
{
    std::wstring left;
    CaseJob job;
    job.logPrefix = kit.logs + L"\\cleanup-msiexec-";
    if (OpenCaseJob(job, kCaseLimitMs)) {
        for (const KitProduct& product : kit.products) {
            const std::wstring why = RemoveProduct(job, product);
            if (!why.empty()) left += (left.empty() ? L"" : L"; ") + why;
        }
    } else {
        left = L"no job object to remove the products with";
    }
    CloseCaseJob(job);
    RemoveKitInstallerLogs(kit.logs + L"\\cleanup-");
    return left;
}

// The last lines of the fixture check's last installer log: why a patch
// did not apply, where the kit's output is all that comes back.
void PrintFixtureLog(const Kit& kit)
{
    constexpr std::size_t kLines = 60;
    std::string text;
    for (int call = 1; ReadWholeFile(kit.logs + L"\\fixtures-msiexec-" + std::to_wstring(call) + L".log", text); ++call) {
    }
    std::size_t at = text.size();
    for (std::size_t lines = 0; at > 0 && lines <= kLines; --at) lines += text[at - 1] == '\n';
    print_out(L"the fixture check's last installer log ends:\n" + from_utf8(text.substr(at)) + L"\n");
}

// What the machine is, first: what a failed case may come down to.
void PrintPreflight(const Kit& kit)
{
    using RtlGetVersionCall = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW os = {};
    os.dwOSVersionInfoSize = sizeof os;
    const auto getVersion = reinterpret_cast<RtlGetVersionCall>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    if (getVersion != nullptr) getVersion(&os);
    HANDLE token = nullptr;
    TOKEN_ELEVATION elevation = {};
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    DWORD size = 0;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
        GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size);
        CloseHandle(token);
    }
    // TOKEN_ELEVATION_TYPE: a split token is full (elevated) or limited;
    // the default type has none, as for the built-in Administrator or with
    // UAC off.
    const wchar_t* const split = type == TokenElevationTypeDefault ? L"no split token (UAC off or the built-in Administrator)"
                                 : type == TokenElevationTypeFull  ? L"the elevated half of a split token"
                                                                   : L"the limited half of a split token";
    wchar_t windows[MAX_PATH] = {};
    GetSystemWindowsDirectoryW(windows, MAX_PATH);
    const DWORD systemTemp = GetFileAttributesW((std::wstring(windows) + L"\\SystemTemp").c_str());
    print_out(L"preflight: Windows " + std::to_wstring(os.dwMajorVersion) + L"." + std::to_wstring(os.dwMinorVersion) +
              L" build " + std::to_wstring(os.dwBuildNumber) + (UnderWine() ? L" (Wine)" : L"") + L"; " +
              (elevation.TokenIsElevated ? L"elevated" : L"NOT elevated") + L", " + split + L"; " + windows +
              L"\\SystemTemp " +
              (systemTemp != INVALID_FILE_ATTRIBUTES && (systemTemp & FILE_ATTRIBUTE_DIRECTORY) ? L"exists" : L"is absent") +
              L"; the kit's folder " + kit.dir + L" is on a " + DriveTypeText(kit.dir) + L" drive\n");
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    // No box for a DLL that cannot be found or a program that crashes:
    // on a machine nobody watches it would hold a case until its time
    // limit. Children inherit the mode ("SetErrorMode function").
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    const bool keep = argc == 3 && CompareStringOrdinal(argv[2], -1, L"/keep", -1, TRUE) == CSTR_EQUAL;
    if (argc != 2 && !keep) return Refused(L"usage: kit-driver KIT_FOLDER [/keep]");
    Kit kit;
    kit.dir = FullFolderPath(argv[1]);
    if (kit.dir.empty()) return Refused(L"no such folder: " + std::wstring(argv[1]));
    // A mapped drive is the user's logon session's alone, and a share is
    // reached with the account's network credentials: the system-run
    // case's task, as SYSTEM, sees neither ("Mapped drives are not
    // available from a service", Defining an MS-DOS Device Name).
    if (DriveTypeOf(kit.dir) == DRIVE_REMOTE)
        return Refused(L"the kit is on a network drive (" + kit.dir +
                       L"), which a task that runs as SYSTEM cannot see: copy it to a local folder");
    kit.logs = kit.dir + L"\\logs";
    CreateDirectoryW(kit.logs.c_str(), nullptr);
    PrintPreflight(kit);
    for (const KitPackage& package : kKitPackages) {
        KitProduct product;
        if (!ReadKitProduct(kit.dir + L"\\" + package.file, package.perUser, product))
            return Refused(L"cannot read the product of " + kit.dir + L"\\" + package.file);
        kit.products.push_back(product);
    }
    for (const KitProduct& product : kit.products)
        if (IsKnownToInstaller(product.code))
            return Refused(product.name + L" " + product.code + L" is installed already; remove it (msiexec /x " +
                           product.code + L") and start the kit again");
    ScratchFolder work;  // removed with what the runs wrote in it when the kit ends, unless kept
    if (keep) work.Keep();
    kit.work = work.Path();
    if (!(GetFileAttributesW(kit.work.c_str()) & FILE_ATTRIBUTE_DIRECTORY))
        return Refused(L"cannot make a folder for the runs' files: " + kit.work);

    std::vector<CaseOutcome> outcomes;
    outcomes.push_back(RunCase(kit, kFixtureCase));
    PrintOutcome(outcomes.back());
    const bool fixturesWork = outcomes.back().status == CaseStatus::kPassed;
    if (!fixturesWork) PrintFixtureLog(kit);
    for (std::size_t i = 0; i < kWrapperCaseCount; ++i) {
        CaseOutcome outcome;
        if (fixturesWork || !kWrapperCases[i].needsPatches) {
            outcome = RunCase(kit, kWrapperCases[i]);
        } else {
            outcome.name = kWrapperCases[i].name;
            outcome.status = CaseStatus::kSkipped;
            outcome.why = L"the fixture check failed: without working fixtures the case shows nothing";
        }
        PrintOutcome(outcome);
        outcomes.push_back(outcome);
    }

    const std::wstring left = CleanUp(kit);
    if (!left.empty()) print_out(L"cleanup left: " + left + L"\n");
    print_out(L"installer logs: " + kit.logs + L"\n");
    if (keep) print_out(L"work folder kept: " + kit.work + L"\n");
    int counts[3] = {};
    for (const CaseOutcome& outcome : outcomes) ++counts[static_cast<int>(outcome.status)];
    // On Windows a case shows what it checks or fails: a skip there means a
    // check that never ran, which must not pass for green.
    const bool skipsFail = counts[2] != 0 && !UnderWine();
    if (skipsFail) print_out(L"a skipped case fails the kit on Windows\n");
    const std::wstring junit = kit.dir + L"\\junit.xml";
    if (!WriteWholeFile(junit, JUnitXml(outcomes))) print_err(L"kit-driver: cannot write " + junit + L"\n");
    print_out(std::to_wstring(counts[0]) + L" passed, " + std::to_wstring(counts[1]) + L" failed, " +
              std::to_wstring(counts[2]) + L" skipped\n");
    return counts[1] == 0 && !skipsFail && left.empty() ? 0 : 1;
}
