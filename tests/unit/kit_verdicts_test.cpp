#include "kit/verdicts.h"

#include "shared/run_log.h"

#include <gtest/gtest.h>

namespace {

// `named`: nullptr where the verdict is a pass, else what the reason must name.
void ExpectVerdict(const KitVerdict& verdict, const wchar_t* named, int row)
{
    SCOPED_TRACE(row);
    EXPECT_EQ(verdict.passed, named == nullptr) << verdict.reason;
    if (named == nullptr)
        EXPECT_EQ(verdict.reason, L"");
    else
        EXPECT_NE(verdict.reason.find(named), std::wstring::npos) << verdict.reason;
}

TEST(KitVerdicts, NoModuleComesFromWhereAPlantedOneCould)
{
    ModulePlaces places = {{L"C:\\Windows\\System32\\", L"C:\\Windows\\SysWOW64"},
                           L"C:\\kit\\x86\\wrapper.exe",
                           L"C:\\work\\",
                           {L"D:\\planted\\msi.dll", L"E:\\plants"}};
    const std::wstring tip = L"C:\\Program Files\\Common Files\\microsoft shared\\ink\\tiptsf.dll";
    const std::wstring hook = L"\\\\server\\share\\edr\\hook64.dll";
    const struct {
        std::vector<std::wstring> loaded;
        const wchar_t* named;
        std::vector<std::wstring> notes;
    } rows[] = {
        {{L"C:\\kit\\x86\\wrapper.exe", L"c:/windows/SYSTEM32/kernel32.dll", L"C:\\Windows\\SysWOW64\\msi.dll",
          L"C:\\Windows\\System32\\en-US\\user32.dll.mui"},
         nullptr,
         {}},
        // Not the program's doing: named, once each, and no failure.
        {{L"C:\\Windows\\System32\\ntdll.dll", tip, hook, tip},
         nullptr,
         {L"outside the system's folders: " + tip, L"outside the system's folders: " + hook}},
        {{L"C:\\Windows\\System32x\\msi.dll"}, nullptr, {L"outside the system's folders: C:\\Windows\\System32x\\msi.dll"}},
        {{L"C:\\KIT\\x86\\msi.dll"}, L"the program's folder: C:\\KIT\\x86\\msi.dll", {}},
        {{L"C:\\kit\\x86\\sub\\version.dll"}, L"the program's folder", {}},
        {{L"C:\\work/version.dll"}, L"the current folder: C:\\work/version.dll", {}},
        {{L"d:\\PLANTED\\msi.dll"}, L"a planted copy: d:\\PLANTED\\msi.dll", {}},
        {{L"E:\\plants\\cabinet.dll"}, L"a planted copy: E:\\plants\\cabinet.dll", {}},
        // The first failure is the reason; the notes are all there.
        {{tip, L"C:\\work\\a.dll", L"C:\\kit\\x86\\b.dll"}, L"the current folder: C:\\work\\a.dll",
         {L"outside the system's folders: " + tip}},
        // What the debugger could not place cannot be taken for safe.
        {{L"C:\\Windows\\System32\\..\\Temp\\msi.dll"}, L"whose place is unknown: C:\\Windows\\System32\\..\\Temp", {}},
        {{L"(a module at 0x7ffb0000 without a name: error 6)"}, L"whose place is unknown: (a module at 0x7ffb0000", {}},
        {{L"msi.dll"}, L"whose place is unknown", {}},
        {{L""}, L"whose place is unknown", {}},
        {{}, L"no module load", {}},
    };
    int row = 0;
    for (const auto& r : rows) {
        const KitVerdict verdict = ModuleLoadVerdict(r.loaded, places);
        ExpectVerdict(verdict, r.named, row);
        ASSERT_EQ(verdict.notes.size(), r.notes.size()) << row;
        for (std::size_t i = 0; i < r.notes.size(); ++i)
            EXPECT_NE(verdict.notes[i].find(r.notes[i]), std::wstring::npos) << row << ": " << verdict.notes[i];
        ++row;
    }

    // Without planted paths, the planted run's places are the program's
    // and the current folder alone.
    places.planted.clear();
    ExpectVerdict(ModuleLoadVerdict({L"D:\\planted\\msi.dll"}, places), nullptr, row++);
    // Nor is a run judged whose program could not be placed.
    places.program = L"(a module at 0x140000000 without a file handle)";
    ExpectVerdict(ModuleLoadVerdict({L"C:\\Windows\\System32\\ntdll.dll"}, places),
                  L"the program's own place is unknown", row++);

    ExpectVerdict(PlantedMarkersVerdict({}), nullptr, row++);
    ExpectVerdict(PlantedMarkersVerdict({L"C:\\kit\\planted-msi.txt"}), L"C:\\kit\\planted-msi.txt", row++);
}

TEST(KitVerdicts, FullPathsArePlainDrivePathsOrShares)
{
    for (const wchar_t* path : {L"C:\\Windows\\System32\\msi.dll", L"z:/usr/lib/wine/ntdll.dll",
                                L"\\\\server\\share\\x.dll", L"C:\\a..b\\.x.dll"})
        EXPECT_TRUE(IsPlainFullPath(path)) << path;
    for (const wchar_t* path : {L"", L"C:", L"C:\\", L"C:msi.dll", L"\\Windows\\msi.dll", L"msi.dll",
                                L"\\\\?\\C:\\Windows\\msi.dll", L"\\\\.\\C:\\msi.dll", L"1:\\msi.dll",
                                L"C:\\Windows\\.\\msi.dll", L"C:\\Windows\\..", L"\\\\server\\..\\x.dll",
                                L"(a module at 0x10000000 without a name)"})
        EXPECT_FALSE(IsPlainFullPath(path)) << path;
}

TEST(KitVerdicts, DevicePathsBecomeDrivePaths)
{
    const std::vector<DriveDevice> drives = {{L"C:", L"\\Device\\HarddiskVolume1"},
                                             {L"D:", L"\\Device\\HarddiskVolume10\\"},
                                             {L"E:", L"\\Device\\CdRom0"},
                                             {L"F:", L""}};
    const struct {
        const wchar_t* device;
        const wchar_t* drive;
    } rows[] = {
        {L"\\Device\\HarddiskVolume1\\Windows\\System32\\msi.dll", L"C:\\Windows\\System32\\msi.dll"},
        {L"\\device\\harddiskvolume1\\kit\\a.exe", L"C:\\kit\\a.exe"},
        // The device's name must end where the path's does.
        {L"\\Device\\HarddiskVolume10\\kit\\msi.dll", L"D:\\kit\\msi.dll"},
        {L"\\Device\\HarddiskVolume11\\kit\\msi.dll", L""},
        {L"\\Device\\HarddiskVolume1", L""},
        {L"\\Device\\HarddiskVolume1\\", L""},
        {L"\\Device\\Mup\\server\\share\\hook.dll", L"\\\\server\\share\\hook.dll"},
        {L"\\Device\\Mup\\", L""},
        {L"\\Device\\Mupx\\server\\share\\hook.dll", L""},
        // Wine's answer: the NT name of the path.
        {L"\\??\\C:\\windows\\system32\\kernel32.dll", L"C:\\windows\\system32\\kernel32.dll"},
        {L"\\??\\unc\\server\\share\\hook.dll", L"\\\\server\\share\\hook.dll"},
        {L"\\??\\UNC\\", L""},
        {L"\\??\\C:", L""},
        {L"\\??\\Volume{5e6f}\\x.dll", L""},
        {L"", L""},
    };
    for (const auto& r : rows)
        EXPECT_EQ(DrivePathOf(r.device, drives), r.drive) << r.device;
}

TEST(KitVerdicts, CopiesAreForSystemAndAdministratorsOnly)
{
    const wchar_t kUser[] = L"S-1-5-21-7-8-9-1001";
    const struct {
        const wchar_t* sddl;
        const wchar_t* user;
        const wchar_t* named;
    } rows[] = {
        {L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)", kUser, nullptr},
        {L"O:S-1-5-18G:SYD:PAI(A;;FA;;;S-1-5-18)(A;;0x1f01ff;;;S-1-5-32-544)", kUser, nullptr},
        // The default owner where UAC does not split the token.
        {L"O:S-1-5-21-7-8-9-1001G:S-1-5-21-7-8-9-513D:P(A;;FA;;;SY)(A;;FA;;;BA)", kUser, nullptr},
        {L"O:s-1-5-21-7-8-9-1001D:P(A;;FA;;;SY)", kUser, nullptr},
        {L"O:LAD:P(A;;FA;;;SY)(A;;FA;;;BA)", L"LA", nullptr},
        // Somebody else, or the user's SID unknown.
        {L"O:S-1-5-21-7-8-9-1002D:P(A;;FA;;;SY)", kUser, L"owned by \"S-1-5-21-7-8-9-1002\""},
        {L"O:S-1-5-21-7-8-9-10011D:P(A;;FA;;;SY)", kUser, L"owned by \"S-1-5-21-7-8-9-10011\""},
        {L"O:LAD:P(A;;FA;;;SY)", kUser, L"owned by \"LA\""},
        {L"O:S-1-5-21-7-8-9-1001D:P(A;;FA;;;SY)", L"", L"owned by"},
        {L"O:BUD:P(A;;FA;;;SY)", kUser, L"owned by \"BU\""},
        // The user owns it or not, an entry for the user opens it to the
        // user's programs without elevation.
        {L"O:S-1-5-21-7-8-9-1001D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;S-1-5-21-7-8-9-1001)", kUser,
         L"the user running it, whose programs without elevation it would let in: (A;;FA;;;S-1-5-21-7-8-9-1001)"},
        {L"O:BAD:P(A;;FR;;;S-1-5-21-7-8-9-1001)", kUser, L"the user running it"},
        {L"O:BAD:P(A;;FA;;;SY)(A;;FR;;;OW)", kUser, L"other than SYSTEM or Administrators: (A;;FR;;;OW)"},
        {L"O:BAD:AI(A;;FA;;;SY)(A;;FA;;;BA)", kUser, L"not protected"},
        {L"O:BAD:P(A;;FA;;;SY)(A;;FR;;;WD)", kUser, L"(A;;FR;;;WD)"},
        {L"O:BAD:P(A;ID;FA;;;SY)", kUser, L"not a plain allow entry: (A;ID;FA;;;SY)"},
        {L"O:BAD:P(D;;FA;;;S-1-5-21-7-8-9-1001)(A;;FA;;;SY)", kUser, L"not a plain allow entry"},
        {L"O:BA", kUser, L"no DACL"},
        {L"O:BAD:NO_ACCESS_CONTROL", kUser, L"no DACL"},
        {L"O:BAD:P(A;;FA;;;SY", kUser, L"cannot read"},
        {L"O:BAD:P(A;;FA;;SY)", kUser, L"cannot read"},
        {L"O:BAD:PX(A;;FA;;;SY)", kUser, L"cannot read"},
    };
    int row = 0;
    for (const auto& r : rows)
        ExpectVerdict(CopySecurityVerdict(r.sddl, r.user), r.named, row++);
}

std::wstring Record(const std::wstring& message)
{
    return FormatLogRecord(message, kLogInfo, LogStamp(), L"fix", 7) + L"\r\n";
}

TEST(KitVerdicts, CopiesGoToTheFolderTheLatestRunLogged)
{
    const std::wstring earlierRun =
        Record(L"Operating system Windows 10(10.0.19045.0); elevated: no; temporary folder C:\\Users\\a\\Temp");
    const std::wstring latestRun = earlierRun +
                                   Record(L"Operating system Windows 10(10.0.19045.0); elevated: yes; "
                                          L"temporary folder C:\\Windows\\TEMP\\") +
                                   Record(L"Exit code 0");
    EXPECT_EQ(LogFolderLine(latestRun), L"C:\\Windows\\TEMP\\");
    EXPECT_EQ(LogFolderLine(Record(L"Patch wrapper 1.1.0.0 started: w.exe")), L"");
    EXPECT_EQ(LogFolderLine(L"<![LOG[Operating system Windows; temporary folder C:\\Windows\\Temp"), L"");

    const struct {
        const wchar_t* logged;
        const wchar_t* named;
    } rows[] = {
        {L"C:\\Windows\\TEMP\\", nullptr},
        {L"C:\\Windows\\Temp2", L"went to C:\\Windows\\Temp2, not to c:\\windows\\temp"},
        {L"", L"names no temporary folder"},
    };
    int row = 0;
    for (const auto& r : rows)
        ExpectVerdict(CopyFolderVerdict(r.logged, L"c:\\windows\\temp"), r.named, row++);
}

TEST(KitVerdicts, RollbackLeavesNoneOfTheRunsPatches)
{
    const std::wstring first = L"{5A1F0C2E-3B7D-4E11-9C2A-0D4B6E8F1A23}";
    const std::wstring second = L"{C0FFEE00-1234-4ABC-8DEF-00112233AABB}";
    const std::wstring other = L"{0E1D2C3B-4A59-4687-9A1B-2C3D4E5F6071}";
    const struct {
        std::vector<std::wstring> applied;
        std::vector<std::wstring> ofRun;
        const wchar_t* named;
    } rows[] = {
        {{other}, {first, second}, nullptr},
        {{other, L"{c0ffee00-1234-4abc-8def-00112233aabb}"}, {first, second}, L"still applied after the rollback"},
        {{other}, {}, L"no patch"},
    };
    int row = 0;
    for (const auto& r : rows)
        ExpectVerdict(RollbackVerdict(r.applied, r.ofRun), r.named, row++);
}

// Taken back: no patch of the wrapper left, the version back, the receipt
// agreeing product by product.
TEST(KitVerdicts, UninstallLeavesNoPatchTheVersionBackAndARemovedReceipt)
{
    const std::wstring patch = L"{5A1F0C2E-3B7D-4E11-9C2A-0D4B6E8F1A23}";
    const std::wstring other = L"{0E1D2C3B-4A59-4687-9A1B-2C3D4E5F6071}";
    const struct {
        std::vector<std::wstring> applied;
        const wchar_t* version;
        std::vector<std::wstring> receipt;
        const wchar_t* named;
    } rows[] = {
        {{other}, L"3.2.10.0", {L"removed"}, nullptr},
        {{patch}, L"3.2.10.0", {L"removed"}, L"still applied after /uninstall"},
        {{}, L"3.2.40.0", {L"removed"}, L"stands at 3.2.40.0, not back at 3.2.10.0"},
        {{}, L"3.2.10.0", {L"removed", L"not-removed"}, L"the receipt says not-removed"},
        {{}, L"3.2.10.0", {}, L"names no product"},
    };
    int row = 0;
    for (const auto& r : rows)
        ExpectVerdict(UninstallVerdict(r.applied, {patch}, r.version, L"3.2.10.0", r.receipt), r.named, row++);
}

// The copy deleted before /uninstall: the receipt names it, once, put back.
TEST(KitVerdicts, ThePutBackIsTheCopyDeleted)
{
    const std::wstring copy = L"C:\\Windows\\Installer\\4f2a1.msp";
    const struct {
        std::vector<std::wstring> actions;
        std::vector<std::wstring> packages;
        const wchar_t* named;
    } rows[] = {
        {{L"put-back"}, {L"c:\\windows\\installer\\4F2A1.msp"}, nullptr},
        {{}, {}, L"names 0 copies"},
        {{L"put-back", L"put-back"}, {copy, copy}, L"names 2 copies"},
        {{L"refused"}, {copy}, L"says refused, not put-back"},
        {{L"put-back"}, {L"C:\\Windows\\Installer\\other.msp"}, L"not the copy deleted"},
    };
    int row = 0;
    for (const auto& r : rows)
        ExpectVerdict(PutBackVerdict(r.actions, r.packages, copy), r.named, row++);
}

// The run's event read back: one, as expected, its message its first
// string, its second the receipt compact.
TEST(KitVerdicts, TheEventIsTheRunsWithItsTextAndItsReceipt)
{
    const std::string receipt = "{\n  \"schema\": 2,\n  \"mode\": \"install\"\n}\n";
    const std::wstring text = L"Patch wrapper 1.3.0.0 (C:\\kit\\d.exe), install: outcome NoProduct.\nLog: none";
    const SeenEvent good = {104, 3, text + L"\r\n", 0, {text, L"{\"schema\":2,\"mode\":\"install\"}"}};
    const auto with = [&good](void (*change)(SeenEvent&)) {
        SeenEvent event = good;
        change(event);
        return std::vector<SeenEvent>{event};
    };
    const struct {
        std::vector<SeenEvent> events;
        std::string receipt;
        const wchar_t* named;
    } rows[] = {
        {{good}, receipt, nullptr},
        {{}, receipt, L"0 events"},
        {{good, good}, receipt, L"2 events"},
        {with([](SeenEvent& e) { e.id = 106; }), receipt, L"event 106 at level 3, not 104 at level 3"},
        {with([](SeenEvent& e) { e.level = 4; }), receipt, L"at level 4, not 104 at level 3"},
        {with([](SeenEvent& e) { e.data.pop_back(); }), receipt, L"1 strings"},
        {with([](SeenEvent& e) { e.formatError = 15027; }), receipt, L"cannot be made: error 15027"},
        {with([](SeenEvent& e) { e.message = L"The description for Event ID 104 from source Patch Wrapper cannot be found."; }),
         receipt, L"not its first string: The description"},
        {{good}, "", L"no receipt"},
        {with([](SeenEvent& e) { e.data[1] = L"{\n  \"schema\": 2,\n  \"mode\": \"install\"\n}\n"; }), receipt,
         L"not the receipt the run wrote, compact"},
    };
    int row = 0;
    for (const auto& r : rows)
        ExpectVerdict(EventVerdict(r.events, 104, 3, r.receipt), r.named, row++);
}

} // namespace
