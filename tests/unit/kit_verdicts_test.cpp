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

TEST(KitVerdicts, ModulesComeFromTheSystemsFoldersOrAreTheProgram)
{
    const std::vector<std::wstring> system = {L"C:\\Windows\\System32\\", L"C:\\Windows\\SysWOW64"};
    const struct {
        std::vector<std::wstring> loaded;
        const wchar_t* named;
    } rows[] = {
        {{L"C:\\kit\\x86\\wrapper.exe", L"c:/windows/SYSTEM32/kernel32.dll", L"C:\\Windows\\SysWOW64\\msi.dll",
          L"C:\\Windows\\System32\\en-US\\user32.dll.mui"},
         nullptr},
        {{L"C:\\Windows\\System32x\\msi.dll"}, L"outside the system's folders: C:\\Windows\\System32x\\msi.dll"},
        {{L"C:\\Windows\\System32\\..\\Temp\\msi.dll"}, L"outside the system's folders"},
        {{L"C:\\KIT\\x86\\msi.dll"}, L"the program's folder: C:\\KIT\\x86\\msi.dll"},
        {{L"C:\\work/version.dll"}, L"the current folder: C:\\work/version.dll"},
        {{}, L"no module load"},
    };
    int row = 0;
    for (const auto& r : rows)
        ExpectVerdict(ModuleLoadVerdict(r.loaded, system, L"C:\\kit\\x86\\wrapper.exe", L"C:\\work\\"), r.named, row++);

    ExpectVerdict(PlantedMarkersVerdict({}), nullptr, row++);
    ExpectVerdict(PlantedMarkersVerdict({L"C:\\kit\\planted-msi.txt"}), L"C:\\kit\\planted-msi.txt", row++);
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

} // namespace
