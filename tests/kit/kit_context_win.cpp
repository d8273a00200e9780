#include "kit_context_win.h"

#include <algorithm>

#include "kit_files_win.h"
#include "kit_wine_win.h"

// Echo Two, per user: Wine 8 drops a patch's registration in a context
// with the first of its products removed there, and the other product of
// that context can then no longer be removed; a product of another context
// keeps its own. The two-products case thereby also patches products of
// both contexts in one run. ALLUSERS="" installs a per-machine package for
// the current user: https://learn.microsoft.com/windows/win32/msi/allusers
const KitPackage kKitPackages[kKitProductCount] = {
    {L"a.msi", false}, {L"c.msi", false}, {L"e1.msi", false}, {L"e2.msi", true}, {L"r.msi", false},
    {L"busy.msi", false},
};

void Findings::Same(const std::wstring& what, const std::wstring& actual, const std::wstring& expected)
{
    if (actual != expected) Step(what + L" [" + actual + L"], expected [" + expected + L"]");
}

void Findings::Holds(const std::wstring& what, bool holds)
{
    if (!holds) Step(what);
}

void Findings::Step(const std::wstring& failure)
{
    if (why.empty()) why = failure;
}

void Findings::WineCannotShow(const std::wstring& reason)
{
    if (!WineExcusesSkips())
        Step(reason);
    else if (why.empty())
        skipped = L"Wine: " + reason;
}

void Findings::Note(const std::wstring& note)
{
    if (std::find(notes.begin(), notes.end(), note) == notes.end()) notes.push_back(note);
}

std::wstring RunKitProgram(const Kit& kit, CaseJob& job, const std::wstring& file, const std::wstring& arguments,
                           DWORD& exitCode)
{
    if (RunInJob(job, kit.dir + L"\\" + file, arguments, exitCode)) return std::wstring();
    // 740 (ERROR_ELEVATION_REQUIRED) for a wrapper: the kit was not started as an administrator.
    return file + (job.timedOut ? L" timed out" : L" did not start: error " + std::to_wstring(GetLastError()));
}

void ExpectExit(Findings& found, const Kit& kit, CaseJob& job, const std::wstring& file,
                const std::wstring& arguments, DWORD expected)
{
    DWORD code = 0;
    const std::wstring failure = RunKitProgram(kit, job, file, arguments, code);
    found.Step(failure);
    if (failure.empty())
        found.Same(file + L" " + arguments + L": exit code", std::to_wstring(code), std::to_wstring(expected));
}

std::wstring VersionNow(const KitProduct& product)
{
    const std::wstring version = InstalledVersion(product);
    return version.empty() ? L"none" : version;
}

std::wstring InstallerLogOf(const KitProduct& product, const wchar_t* kind)
{
    return TempFolder() + L"\\" + product.name + L" SP " + kind + L".log";
}
