// kit-driver: runs the Windows kit's checks on the machine it runs on, one
// case after another, and cleans up after them.
//
//   kit-driver KIT_FOLDER
//
// KIT_FOLDER holds what ./windows-kit wrote: the products, the patches, the
// wrappers and the test programs. One line per case ("ok NAME", "FAIL
// NAME: why", "skipped NAME: reason"), each followed by a line per thing
// it saw that is no failure but worth a look ("note NAME: what"), then "N
// passed, M failed, K skipped", and KIT_FOLDER\junit.xml. Exit code 0 when
// no case failed and the kit's products are gone again, 1 otherwise, 2 when
// the kit could not start: a bad command line, a package it cannot read, or
// one of its products installed already (its cases need them absent, and
// its cleanup would remove somebody's installation).
#include <windows.h>

#include <string>
#include <vector>

#include "kit_cases_win.h"
#include "kit_files_win.h"
#include "kit_junit_win.h"
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

CaseOutcome RunCase(const Kit& kit, const KitCase& kitCase)
{
    CaseOutcome outcome;
    outcome.name = kitCase.name;
    // A case finds only the installer logs of its own runs.
    RemoveKitInstallerLogs();
    const ULONGLONG started = GetTickCount64();
    CaseJob job;
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
    if (OpenCaseJob(job, kCaseLimitMs)) {
        for (const KitProduct& product : kit.products) {
            const std::wstring why = RemoveProduct(job, product);
            if (!why.empty()) left += (left.empty() ? L"" : L"; ") + why;
        }
    } else {
        left = L"no job object to remove the products with";
    }
    CloseCaseJob(job);
    RemoveKitInstallerLogs();
    return left;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) return Refused(L"usage: kit-driver KIT_FOLDER");
    Kit kit;
    kit.dir = FullFolderPath(argv[1]);
    if (kit.dir.empty()) return Refused(L"no such folder: " + std::wstring(argv[1]));
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
    const ScratchFolder work;  // removed with what the runs wrote in it when the kit ends
    kit.work = work.Path();
    if (!(GetFileAttributesW(kit.work.c_str()) & FILE_ATTRIBUTE_DIRECTORY))
        return Refused(L"cannot make a folder for the runs' files: " + kit.work);

    std::vector<CaseOutcome> outcomes;
    outcomes.push_back(RunCase(kit, kFixtureCase));
    PrintOutcome(outcomes.back());
    const bool fixturesWork = outcomes.back().status == CaseStatus::kPassed;
    for (std::size_t i = 0; i < kWrapperCaseCount; ++i) {
        CaseOutcome outcome;
        if (fixturesWork) {
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
    int counts[3] = {};
    for (const CaseOutcome& outcome : outcomes) ++counts[static_cast<int>(outcome.status)];
    print_out(std::to_wstring(counts[0]) + L" passed, " + std::to_wstring(counts[1]) + L" failed, " +
              std::to_wstring(counts[2]) + L" skipped\n");
    const std::wstring junit = kit.dir + L"\\junit.xml";
    if (!WriteWholeFile(junit, JUnitXml(outcomes))) print_err(L"kit-driver: cannot write " + junit + L"\n");
    return counts[1] == 0 && left.empty() ? 0 : 1;
}
