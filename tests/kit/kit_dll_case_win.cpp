// Planted DLLs: each mode of the wrapper and of build-wrapper.exe runs once
// under the debugger from the kit's folder, to see what it loads and from
// where, and once more as a copy in a folder of planted.dll copies (of
// planted-x86.dll for the x86 wrapper), named as the modules it loaded,
// started in a second such folder.
#include "kit_windows_cases_win.h"
#include "kit_wine_win.h"

#include <algorithm>
#include <cwctype>
#include <set>

#include "kit_cases_win.h"
#include "kit_debug_win.h"
#include "kit_files_win.h"
#include "text_win.h"
#include "kit/verdicts.h"

namespace {

struct Mode {
    std::wstring program;    // in the kit's folder
    std::wstring arguments;
    bool throughWatcher;     // shows a box the watcher answers
    DWORD exitCode;
    bool x86 = false;        // a 32-bit program, planted with planted-x86.dll
};

// What the modes write goes to the folder they start in, one per run.
std::vector<Mode> ModesOf(const Kit& kit)
{
    return {
        {L"a.exe", L"/q /exitcode", false, 0},  // Alpha is up to date
        {L"a.exe", L"/whatif /q /exitcode", false, 0},
        {L"a.exe", L"/e out.msp", false, 0},
        {L"a.exe", L"/i", true, 0},
        {L"a.exe", L"/pi", false, 0},
        {L"a.exe", L"/?", true, 0},
        {L"a-x86.exe", L"/q /exitcode", false, 0, true},
        {L"a-x86.exe", L"/pi", false, 0, true},
        {L"build-wrapper.exe", L"--version", false, 0},
        {L"build-wrapper.exe", L"-o built.exe " + Quoted(kit.dir + L"\\a.msp"), false, 0},
    };
}

// FOLDER_OF(buffer, size) as a string, empty when it gives none.
std::wstring FolderFrom(UINT (*folderOf)(LPWSTR, UINT))
{
    wchar_t folder[MAX_PATH] = {};
    const UINT length = folderOf(folder, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::wstring() : std::wstring(folder, length);
}

std::wstring BaseName(const std::wstring& path)
{
    std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
    std::transform(name.begin(), name.end(), name.begin(), [](wchar_t c) { return std::towlower(c); });
    return name;
}

// The system folder, and the side-by-side store the common controls of a
// manifest come from (https://learn.microsoft.com/windows/win32/sbscs/assembly-searching-sequence).
// A 32-bit program on 64-bit Windows takes its DLLs from the WoW64 system
// folder, and the 64-bit ntdll.dll and WoW64 DLLs from the system folder
// (https://learn.microsoft.com/windows/win32/winprog64/wow64-implementation-details).
// Wine 8's debug events name its own DLLs in the Unix folder Wine keeps
// them in, through its drive Z: (Z:\usr\lib\...\wine\x86_64-windows\ntdll.dll),
// not by the C:\windows\system32 names the program sees: under Wine that
// folder, where ntdll.dll, the first module of every process, comes from.
std::vector<std::wstring> SystemFolders(const DebuggedRun& run, bool wine, bool x86)
{
    std::vector<std::wstring> folders = {FolderFrom(GetSystemDirectoryW)};
    if (x86) folders.push_back(FolderFrom(GetSystemWow64DirectoryW));
    wchar_t windows[MAX_PATH] = {};
    const UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (length > 0 && length < MAX_PATH) folders.push_back(std::wstring(windows, length) + L"\\WinSxS");
    if (wine && !run.modules.empty() && BaseName(run.modules[0]) == L"ntdll.dll")
        folders.push_back(run.modules[0].substr(0, run.modules[0].find_last_of(L"\\")));
    return folders;
}

// Runs MODE's PROGRAM (a full path) in CURRENT, through the watcher when the
// mode shows a box: empty with what the debugger saw of PROGRAM, or why not.
std::wstring DebugMode(const Kit& kit, CaseJob& job, const Mode& mode, const std::wstring& program,
                       const std::wstring& current, DebuggedRun& run)
{
    std::wstring failure;
    if (mode.throughWatcher)
        failure = DebugInJob(job, kit.dir + L"\\watcher.exe",
                             Quoted(current + L"\\boxes.txt") + L" --timeout 120 --run " + Quoted(program) +
                                 L" " + mode.arguments,
                             current, 1, run);
    else
        failure = DebugInJob(job, program, mode.arguments, current, 0, run);
    if (!failure.empty()) return failure;
    if (run.exitCode != mode.exitCode)
        return L"exit code " + std::to_wstring(run.exitCode) + L", expected " + std::to_wstring(mode.exitCode);
    return run.image.empty() ? L"the debugger saw no process of " + program : std::wstring();
}

std::wstring NewFolder(const std::wstring& path)
{
    CreateDirectoryW(path.c_str(), nullptr);
    return path;
}

std::vector<std::wstring> MarkersIn(const std::vector<std::wstring>& folders)
{
    std::vector<std::wstring> markers;
    for (const std::wstring& folder : folders) {
        WIN32_FIND_DATAW found = {};
        HANDLE search = FindFirstFileW((folder + L"\\*.loaded").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) continue;
        do markers.push_back(folder + L"\\" + found.cFileName);
        while (FindNextFileW(search, &found));
        FindClose(search);
    }
    return markers;
}

// The names to plant: on Windows every module's, since any could be looked
// for in the program's or the current folder. Wine 8 honours neither
// KnownDLLs nor the load configuration's DependentLoadFlags, and would
// take the DLLs the program imports from its own folder however it was
// built: there, only the names of those loaded at run time, and Wine is
// told to prefer a DLL found on the search path to its own for them
// (WINEDLLOVERRIDES "n,b"; with its default, built-in first, even a bare
// load would get Wine's DLL). With the default safe search the current
// folder comes after the system folder, where Wine keeps a stand-in file
// for each of its DLLs: under Wine only the copies beside the program can
// be taken.
// A module the debugger could not name has no name to plant under; the
// module verdict fails it.
std::set<std::wstring> NamesToPlant(const DebuggedRun& run, bool wine)
{
    std::set<std::wstring> names;
    for (std::size_t i = wine ? run.beforeEntry : 0; i < run.modules.size(); ++i)
        if (IsPlainFullPath(run.modules[i])) names.insert(BaseName(run.modules[i]));
    return names;
}

// Sets WINEDLLOVERRIDES for the programs the driver starts to prefer
// NAMES found on the search path, after what it held: the value before.
std::wstring PreferPlanted(const std::set<std::wstring>& names)
{
    wchar_t before[4096] = {};
    const DWORD length = GetEnvironmentVariableW(L"WINEDLLOVERRIDES", before, 4096);
    std::wstring overrides = length > 0 && length < 4096 ? std::wstring(before, length) + L";" : std::wstring();
    const std::wstring previous = overrides.empty() ? overrides : overrides.substr(0, overrides.size() - 1);
    bool first = true;
    for (const std::wstring& name : names)
        overrides += (first ? L"" : L",") + name.substr(0, name.rfind(L'.')), first = false;
    SetEnvironmentVariableW(L"WINEDLLOVERRIDES", (overrides + L"=n,b").c_str());
    return previous;
}

// What the two checks of a mode's run among planted DLLs found.
struct PlantedRun {
    KitVerdict modules;   // where what it loaded came from
    KitVerdict markers;   // whether a planted DLL's code ran
    std::wstring failed;  // how the run did not end as usual, if it did not
};

// The run's modules judged, failing FOUND as NAME's, its notes added.
KitVerdict JudgeModules(const DebuggedRun& run, const ModulePlaces& places, const std::wstring& name,
                        Findings& found)
{
    KitVerdict verdict = ModuleLoadVerdict(run.modules, places);
    for (const std::wstring& note : verdict.notes) found.Note(note);
    if (!verdict.passed) verdict.reason = name + verdict.reason;
    return verdict;
}

// One mode, both runs: in FOUND what went wrong in the first; what the
// planted run found, returned. A planted copy can be taken without a
// marker: a DLL the program imports is mapped before any DllMain runs, and
// where the copy lacks what the program imports from it, the loader gives
// up before calling it. So the planted run's modules are judged too.
PlantedRun CheckMode(const Kit& kit, CaseJob& job, const Mode& mode, int number, Findings& found)
{
    const KitVerdict none = {true, std::wstring()};
    const std::wstring name = mode.program + L" " + mode.arguments + L": ";
    const std::wstring scratch = NewFolder(kit.work + L"\\planted" + std::to_wstring(number));
    DebuggedRun run;
    const std::wstring start = NewFolder(scratch + L"\\start");
    std::wstring failure = DebugMode(kit, job, mode, kit.dir + L"\\" + mode.program, start, run);
    if (!failure.empty()) {
        found.Step(name + failure);
        return {none, none, std::wstring()};
    }
    const bool wine = UnderWine();
    found.Step(JudgeModules(run, {SystemFolders(run, wine, mode.x86), run.image, start}, name, found).reason);
    const std::wstring plantedDll = kit.dir + (mode.x86 ? L"\\planted-x86.dll" : L"\\planted.dll");

    const std::wstring app = NewFolder(scratch + L"\\app"), current = NewFolder(scratch + L"\\current");
    const std::set<std::wstring> names = NamesToPlant(run, wine);
    std::vector<std::wstring> planted;
    bool copied = CopyFileW((kit.dir + L"\\" + mode.program).c_str(), (app + L"\\" + mode.program).c_str(), TRUE);
    for (const std::wstring& dll : names)
        for (const std::wstring& folder : {app, current}) {
            planted.push_back(folder + L"\\" + dll);
            copied = copied && CopyFileW(plantedDll.c_str(), planted.back().c_str(), TRUE);
        }
    found.Holds(name + L"cannot copy the program and " + plantedDll + L" to " + scratch, copied);
    const std::wstring overrides = wine && !names.empty() ? PreferPlanted(names) : std::wstring();
    failure = DebugMode(kit, job, mode, app + L"\\" + mode.program, current, run);
    if (wine && !names.empty())
        SetEnvironmentVariableW(L"WINEDLLOVERRIDES", overrides.empty() ? nullptr : overrides.c_str());
    PlantedRun result = {none, PlantedMarkersVerdict(MarkersIn({app, current})),
                         failure.empty() ? failure : name + L"among planted DLLs: " + failure};
    if (!result.markers.passed) result.markers.reason = name + result.markers.reason;
    // Judged even where the run failed: a planted copy the loader mapped
    // and gave up on ends the program before its code runs.
    if (!run.image.empty())
        result.modules = JudgeModules(run, {SystemFolders(run, wine, mode.x86), run.image, current, planted},
                                      name + L"among planted DLLs: ", found);
    return result;
}

}  // namespace

Findings PlantedDlls(const Kit& kit, CaseJob& job)
{
    const KitProduct& alpha = kit.products[kAlpha];
    Findings found;
    DWORD code = 0;
    found.Step(InstallFresh(job, alpha));
    found.Step(Msiexec(job, L"/p " + Quoted(kit.dir + L"\\a.msp"), code));
    found.Same(L"msiexec /p a.msp: exit code", std::to_wstring(code), L"0");
    int number = 0;
    for (const Mode& mode : ModesOf(kit)) {
        const PlantedRun planted = CheckMode(kit, job, mode, ++number, found);
        found.Step(planted.modules.reason);
        found.Step(planted.markers.reason);
        found.Step(planted.failed);
    }
    return found;
}

// The same check on bare_load, which loads msi.dll by its bare name: both
// halves of the planted run's check must find the planted copy taken.
Findings PlantedCheckCatchesBareLoad(const Kit& kit, CaseJob& job)
{
    Findings found;
    const PlantedRun planted = CheckMode(kit, job, {L"bare_load.exe", L"msi.dll", false, 0}, 0, found);
    found.Step(planted.failed);
    found.Holds(L"the planted run's modules took bare_load's load of msi.dll by its bare name for safe",
                !planted.modules.passed);
    found.Holds(L"the planted run's markers took bare_load's load of msi.dll by its bare name for safe",
                !planted.markers.passed);
    return found;
}
