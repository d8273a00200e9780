#include "kit_cases_win.h"

#include "kit_files_win.h"
#include "kit_wine_win.h"
#include "kit_windows_cases_win.h"
#include "text_win.h"
#include "kit/verdicts.h"

const wchar_t kUpgradeVersion[] = L"3.2.40.0";

namespace {

// The run left PRODUCT at VERSION without calling the installer for it.
void ExpectUntouched(Findings& found, const KitProduct& product, const std::wstring& version)
{
    found.Same(product.name + L": version after", VersionNow(product), version);
    found.Holds(L"the installer was called for " + product.name, !FileExists(InstallerLogOf(product, L"install")));
}

void ExpectApplied(Findings& found, const KitProduct& product, int patches)
{
    found.Same(product.name + L": patches applied", std::to_wstring(AppliedPatchCount(product)),
               std::to_wstring(patches));
}

// A fresh Alpha patched by WRAPPER, one of the builds of a.msp's wrapper.
Findings DueBy(const Kit& kit, CaseJob& job, const wchar_t* wrapper)
{
    const KitProduct& alpha = kit.products[kAlpha];
    Findings found;
    found.Step(InstallFresh(job, alpha));
    ExpectExit(found, kit, job, wrapper, L"/q /exitcode", 0);
    found.Same(L"version after", VersionNow(alpha), kUpgradeVersion);
    ExpectApplied(found, alpha, 1);
    return found;
}

Findings Due(const Kit& kit, CaseJob& job) { return DueBy(kit, job, L"a.exe"); }

// The x86 build: on 64-bit Windows a WoW64 process, with the 32-bit installer API.
Findings DueX86(const Kit& kit, CaseJob& job) { return DueBy(kit, job, L"a-x86.exe"); }

// Alpha as the case before left it, patched.
Findings UpToDate(const Kit& kit, CaseJob& job)
{
    const KitProduct& alpha = kit.products[kAlpha];
    Findings found;
    ExpectExit(found, kit, job, L"a.exe", L"/q /exitcode", 0);
    ExpectUntouched(found, alpha, kUpgradeVersion);
    return found;
}

// PRODUCT installed fresh, then EXE ARGUMENTS ends with CODE and leaves it
// as it was.
Findings FreshAndUntouched(const Kit& kit, CaseJob& job, KitProductId id, const wchar_t* exe,
                           const wchar_t* arguments, DWORD code)
{
    const KitProduct& product = kit.products[id];
    Findings found;
    found.Step(InstallFresh(job, product));
    ExpectExit(found, kit, job, exe, arguments, code);
    ExpectUntouched(found, product, product.version);
    return found;
}

Findings VersionNotTargeted(const Kit& kit, CaseJob& job)
{
    return FreshAndUntouched(kit, job, kCharlie, L"c.exe", L"/q /exitcode", 1642);
}

// d.msp's only product is none of the kit's.
Findings NotInstalled(const Kit& kit, CaseJob& job)
{
    Findings found;
    ExpectExit(found, kit, job, L"d.exe", L"/q /exitcode", 1642);
    return found;
}

Findings TwoProducts(const Kit& kit, CaseJob& job)
{
    Findings found;
    for (KitProductId id : {kEchoOne, kEchoTwo}) found.Step(InstallFresh(job, kit.products[id]));
    ExpectExit(found, kit, job, L"two.exe", L"/q /exitcode", 0);
    for (KitProductId id : {kEchoOne, kEchoTwo})
        found.Same(kit.products[id].name + L": version after", VersionNow(kit.products[id]), kUpgradeVersion);
    return found;
}

// Empty when the installer itself takes the product back to its own
// version when it removes r.msp (MSIPATCHREMOVE, as the wrapper removes a
// patch: https://learn.microsoft.com/windows/win32/msi/msipatchremove);
// else what it did. Wine 8's answers success and leaves the patch applied
// and the version where the patch put it.
std::wstring InstallerRemovalFailure(const Kit& kit, CaseJob& job)
{
    const KitProduct& romeo = kit.products[kRomeo];
    DWORD code = 0;
    std::wstring failure = InstallFresh(job, romeo);
    if (failure.empty()) failure = Msiexec(job, L"/p " + Quoted(kit.dir + L"\\r.msp"), code);
    if (!failure.empty()) return failure;
    const std::wstring patch = AppliedPatchCode(romeo);
    failure = Msiexec(job, L"/i " + romeo.code + L" MSIPATCHREMOVE=" + patch, code);
    if (!failure.empty()) return failure;
    if (VersionNow(romeo) == romeo.version && AppliedPatchCount(romeo) == 0) return std::wstring();
    return L"msiexec MSIPATCHREMOVE=" + patch + L" ended with " + std::to_wstring(code) + L" and left " + romeo.name +
           L" at " + VersionNow(romeo) + L" with " + std::to_wstring(AppliedPatchCount(romeo)) + L" patch(es)";
}

// Every text value of the member NAME in a receipt, by plain search: it
// writes one member a line, a text in quotes without a quote inside for
// the codes and words read here.
std::vector<std::wstring> TextsIn(const std::string& receipt, const std::string& name)
{
    const std::string member = "\"" + name + "\": \"";
    std::vector<std::wstring> texts;
    for (std::size_t at = receipt.find(member); at != std::string::npos; at = receipt.find(member, at + 1)) {
        const std::size_t from = at + member.size();
        texts.push_back(from_utf8(receipt.substr(from, receipt.find('"', from) - from)));
    }
    return texts;
}

// A removal the case expects (REMOVED) counts where it is seen; where the
// installer itself keeps a patch that MSIPATCHREMOVE names, as Wine's
// does, the case cannot show it and says why.
void JudgeRemoval(Findings& found, const Findings& removed, const Kit& kit, CaseJob& job)
{
    if (!found.why.empty() || removed.why.empty())
        return;
    const std::wstring installer = InstallerRemovalFailure(kit, job);
    if (installer.empty())
        found.Step(removed.why);
    else
        found.WineCannotShow(removed.why + L"; the installer does not remove a patch with MSIPATCHREMOVE either: " +
                             installer);
}

// Slots 1 and 2 patch Romeo and Alpha, slot 3's product is missing: the run
// stops there and removes both patches again.
Findings Rollback(const Kit& kit, CaseJob& job)
{
    const KitProductId patched[] = {kRomeo, kAlpha};
    const std::wstring receipt = kit.work + L"\\rollback.json";
    Findings found;
    for (KitProductId id : patched) found.Step(InstallFresh(job, kit.products[id]));
    ExpectExit(found, kit, job, L"rad.exe", L"/q /exitcode /json " + Quoted(receipt), 1642);
    std::string text;
    found.Holds(L"no receipt written", ReadWholeFile(receipt, text));
    const std::vector<std::wstring> codes = TextsIn(text, "patchCode");
    found.Same(L"patch codes in the receipt", std::to_wstring(codes.size()), L"3");
    Findings removed;
    std::vector<std::wstring> applied;
    for (KitProductId id : patched) {
        const KitProduct& product = kit.products[id];
        found.Holds(product.name + L" was not patched (no installer log)",
                    FileExists(InstallerLogOf(product, L"install")));
        found.Holds(product.name + L"'s patch was not removed again (no rollback log)",
                    FileExists(InstallerLogOf(product, L"rollback")));
        removed.Same(product.name + L": version after", VersionNow(product), product.version);
        const std::vector<std::wstring> now = AppliedPatchCodes(product);
        applied.insert(applied.end(), now.begin(), now.end());
    }
    const KitVerdict verdict = RollbackVerdict(applied, codes);
    removed.Holds(verdict.reason, verdict.passed);
    JudgeRemoval(found, removed, kit, job);
    return found;
}

// a.exe /uninstall, its receipt in RECEIPT: whether Alpha's patch went, its
// version back and the receipt agreeing, goes in REMOVED for JudgeRemoval;
// the receipt's text, for more.
std::string UninstallAlpha(Findings& found, Findings& removed, const Kit& kit, CaseJob& job,
                           const std::wstring& receipt)
{
    const KitProduct& alpha = kit.products[kAlpha];
    ExpectExit(removed, kit, job, L"a.exe", L"/uninstall /q /exitcode /json " + Quoted(receipt), 0);
    std::string text;
    found.Holds(L"no receipt written", ReadWholeFile(receipt, text));
    const KitVerdict verdict = UninstallVerdict(AppliedPatchCodes(alpha), TextsIn(text, "patchCode"), VersionNow(alpha),
                                                alpha.version, TextsIn(text, "verdict"));
    removed.Holds(verdict.reason, verdict.passed);
    return text;
}

// Alpha patched by a.exe, then taken back by a.exe /uninstall: its patch is
// no longer applied, its version is back, and the receipt says "removed".
Findings Uninstall(const Kit& kit, CaseJob& job)
{
    Findings found = DueBy(kit, job, L"a.exe");
    Findings removed;
    UninstallAlpha(found, removed, kit, job, kit.work + L"\\uninstall.json");
    found.Holds(L"no uninstall log", FileExists(InstallerLogOf(kit.products[kAlpha], L"uninstall")));
    JudgeRemoval(found, removed, kit, job);
    return found;
}

// The same with the patch's cached copy deleted first (a cleanup tool's
// doing): the installer cannot remove a patch without it, so the wrapper
// puts it back before its call. The put-back shows under Wine too; the
// removal only where the installer removes.
Findings PutBack(const Kit& kit, CaseJob& job)
{
    Findings found = DueBy(kit, job, L"a.exe");
    const std::wstring copy = AppliedPatchCopy(kit.products[kAlpha]);
    found.Holds(L"the applied patch's cached copy [" + copy + L"] cannot be deleted",
                !copy.empty() && DeleteFileW(copy.c_str()));
    Findings removed;
    const std::string text = UninstallAlpha(found, removed, kit, job, kit.work + L"\\put-back.json");
    std::vector<std::wstring> packages = TextsIn(text, "package");
    for (std::wstring& package : packages) {
        for (size_t at = 0; (at = package.find(L"\\\\", at)) != std::wstring::npos; ++at)
            package.erase(at, 1);  // JSON's escaped backslash
    }
    const KitVerdict putBack = PutBackVerdict(TextsIn(text, "action"), packages, copy);
    found.Holds(putBack.reason, putBack.passed);
    JudgeRemoval(found, removed, kit, job);
    return found;
}

// EXE ARGUMENTS, which ends with CODE and writes FILE (a WHAT): its bytes.
std::string RunAndRead(Findings& found, const Kit& kit, CaseJob& job, const wchar_t* exe,
                       const std::wstring& arguments, DWORD code, const std::wstring& file, const wchar_t* what)
{
    ExpectExit(found, kit, job, exe, arguments, code);
    std::string text;
    found.Holds(std::wstring(L"no ") + what + L" written", ReadWholeFile(file, text));
    return text;
}

Findings LogRecords(const Kit& kit, CaseJob& job)
{
    const std::wstring log = kit.work + L"\\run.log";
    Findings found;
    const std::string text = RunAndRead(found, kit, job, L"d.exe", L"/q /log " + Quoted(log), 0, log, L"log");
    found.Holds(L"the log does not begin with a UTF-8 byte-order mark", text.compare(0, 3, "\xEF\xBB\xBF") == 0);
    found.Holds(L"the log has no record \"Exit code 0 (with /exitcode: 1642)\"",
                text.find("<![LOG[Exit code 0 (with /exitcode: 1642)]LOG]!>") != std::string::npos);
    return found;
}

Findings Extract(const Kit& kit, CaseJob& job)
{
    Findings found;
    ExpectExit(found, kit, job, L"rad.exe", L"/e " + Quoted(kit.work + L"\\out.msp"), 0);
    const wchar_t* const carried[][2] = {{L"out1.msp", L"r.msp"}, {L"out2.msp", L"a.msp"}, {L"out3.msp", L"d.msp"}};
    for (const auto& pair : carried) {
        std::string written, original;
        found.Holds(std::wstring(pair[0]) + L" not written", ReadWholeFile(kit.work + L"\\" + pair[0], written));
        ReadWholeFile(kit.dir + L"\\" + pair[1], original);
        found.Holds(std::wstring(pair[0]) + L" differs from " + pair[1], written == original);
    }
    return found;
}

// The watcher starts the wrapper, reads its one box and answers it.
Findings Report(const Kit& kit, CaseJob& job)
{
    const std::wstring seen = kit.work + L"\\boxes.txt";
    Findings found;
    ExpectExit(found, kit, job, L"watcher.exe",
               Quoted(seen) + L" --timeout 120 --run " + Quoted(kit.dir + L"\\a.exe") + L" /i", 0);
    std::string boxes;
    ReadWholeFile(seen, boxes);
    std::size_t lines = 0;
    for (char c : boxes) lines += c == '\n';
    found.Same(L"boxes shown", std::to_wstring(lines), L"1");
    found.Holds(L"the report does not name Alpha's product code",
                boxes.find(to_utf8(kit.products[kAlpha].code)) != std::string::npos);
    return found;
}

Findings WhatIf(const Kit& kit, CaseJob& job)
{
    Findings found = FreshAndUntouched(kit, job, kRomeo, L"r.exe", L"/whatif /q /exitcode", 1);
    ExpectApplied(found, kit.products[kRomeo], 0);
    return found;
}

// A few members by plain search: one member a line, as the receipt writes them.
Findings Receipt(const Kit& kit, CaseJob& job)
{
    const std::wstring receipt = kit.work + L"\\receipt.json";
    Findings found;
    const std::string text =
        RunAndRead(found, kit, job, L"c.exe", L"/q /exitcode /json " + Quoted(receipt), 1642, receipt, L"receipt");
    for (const char* member : {"\"schema\": 2,", "\"exitCode\": 1642,"})
        found.Holds(L"the receipt has no line with " + from_utf8(member),
                    text.find(member) != std::string::npos);
    return found;
}

}  // namespace

// The rollback first: it leaves Romeo and Alpha as the installer left them
// after removing its patches, and every later case that uses them installs
// them afresh or takes them over as a case after this one left them.
const KitCase kWrapperCases[] = {
    {L"rollback", Rollback, true},
    {L"due", Due, true},
    {L"due-x86", DueX86, true},
    {L"up-to-date", UpToDate, true},
    {L"version-not-targeted", VersionNotTargeted, false},
    {L"not-installed", NotInstalled, false},
    {L"two-products", TwoProducts, true},
    {L"uninstall", Uninstall, true},
    {L"put-back", PutBack, true},
    {L"log", LogRecords, false},
    {L"extract", Extract, false},
    {L"report", Report, false},
    {L"whatif", WhatIf, false},
    {L"json", Receipt, false},
    {L"planted-dlls", PlantedDlls, true},
    {L"planted-dlls-check-catches-bare-load", PlantedCheckCatchesBareLoad, false},
    {L"copy-descriptor", CopyDescriptor, true},
    {L"copy-descriptor-check-catches-default", CopyCheckCatchesDefaultDescriptor, false},
    {L"links", Links, false},
    {L"receipt-share", ReceiptShare, false},
    {L"system-run", SystemRun, true},
    {L"busy-installer", BusyInstaller, true},
    {L"busy-installation", BusyInstallation, true},
    {L"texts", BoxTexts, false},
    {L"event-log", RunEvent, false},
};
const std::size_t kWrapperCaseCount = sizeof kWrapperCases / sizeof kWrapperCases[0];
