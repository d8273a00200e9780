#include "kit_context_win.h"

#include "kit_files_win.h"

const wchar_t* const kKitPackages[kKitProductCount] = {L"a.msi", L"c.msi", L"e1.msi", L"e2.msi", L"r.msi"};

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

std::wstring RunKitProgram(const Kit& kit, CaseJob& job, const std::wstring& file, const std::wstring& arguments,
                           DWORD& exitCode)
{
    if (RunInJob(job, kit.dir + L"\\" + file, arguments, exitCode)) return std::wstring();
    return file + (job.timedOut ? L" timed out" : L" did not start");
}

std::wstring VersionNow(const KitProduct& product)
{
    const std::wstring version = InstalledVersion(product.code);
    return version.empty() ? L"none" : version;
}

std::wstring InstallerLogOf(const KitProduct& product, const wchar_t* kind)
{
    return TempFolder() + L"\\" + product.name + L" SP " + kind + L".log";
}
