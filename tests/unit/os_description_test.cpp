#include "diagnostics/os_description.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr std::uint8_t WS = 1;     // workstation
constexpr std::uint8_t DC = 2;     // domain controller
constexpr std::uint8_t SRV = 3;    // server
constexpr std::uint16_t X86 = 0;
constexpr std::uint16_t AMD64 = 9;
constexpr std::uint16_t ARM64 = 12;
constexpr std::uint16_t HOME = 0x200;

struct OsRow {
    const char* what;
    OsVersionInputs inputs;
    const wchar_t* name;
    const wchar_t* version;
};

OsVersionInputs Nt(std::uint32_t major, std::uint32_t minor, std::uint32_t build, std::uint8_t type,
                   std::uint16_t architecture, std::uint16_t suite = 0)
{
    OsVersionInputs in;
    in.querySucceeded = true;
    in.platformId = 2;
    in.major = major;
    in.minor = minor;
    in.build = build;
    in.productType = type;
    in.architecture = architecture;
    in.suiteMask = suite;
    return in;
}

OsVersionInputs Failed()
{
    return OsVersionInputs();
}

OsVersionInputs NotNt()
{
    OsVersionInputs in = Nt(4, 10, 2222, WS, X86);
    in.platformId = 1;
    return in;
}

OsVersionInputs NtWithoutSuccess()
{
    OsVersionInputs in = Nt(6, 1, 7601, WS, X86);
    in.querySucceeded = false;
    return in;
}

const OsRow kRows[] = {
    // The name table, both columns; AMD64 workstations so no suffix is added.
    {"8.1", Nt(6, 3, 9600, WS, AMD64), L"Windows 8.1", L"6.3.9600.0"},
    {"2012 R2", Nt(6, 3, 9600, SRV, AMD64), L"Windows Server 2012 R2", L"6.3.9600.0"},
    {"8", Nt(6, 2, 9200, WS, AMD64), L"Windows 8", L"6.2.9200.0"},
    {"2012", Nt(6, 2, 9200, SRV, AMD64), L"Windows Server 2012", L"6.2.9200.0"},
    {"7 x64", Nt(6, 1, 7601, WS, AMD64), L"Windows 7", L"6.1.7601.0"},
    {"2008 R2", Nt(6, 1, 7601, SRV, AMD64), L"Windows Server 2008 R2", L"6.1.7601.0"},
    {"Vista x64", Nt(6, 0, 6002, WS, AMD64), L"Windows Vista ", L"6.0.6002.0"},
    {"2008", Nt(6, 0, 6002, SRV, AMD64), L"Windows Server 2008 ", L"6.0.6002.0"},
    {"6.4 x64", Nt(6, 4, 9841, WS, AMD64), L"Windows", L"6.4.9841.0"},
    {"6.4 server", Nt(6, 4, 9841, SRV, AMD64), L"Windows", L"6.4.9841.0"},
    {"XP x64", Nt(5, 2, 3790, WS, AMD64), L"Microsoft Windows XP Professional x64 Edition ", L"5.2.3790.0"},
    {"5.2 x86 workstation", Nt(5, 2, 3790, WS, X86), L"Microsoft Windows Server 2003Professional ",
     L"5.2.3790.0"},
    {"2003", Nt(5, 2, 3790, SRV, X86), L"Microsoft Windows Server 2003", L"5.2.3790.0"},
    {"2003 x64", Nt(5, 2, 3790, SRV, AMD64), L"Microsoft Windows Server 2003", L"5.2.3790.0"},
    {"XP", Nt(5, 1, 2600, WS, X86), L"Microsoft Windows XP Professional ", L"5.1.2600.0"},
    {"5.1 server", Nt(5, 1, 2600, SRV, X86), L"Microsoft Windows XP ", L"5.1.2600.0"},
    {"2000", Nt(5, 0, 2195, WS, X86), L"Microsoft Windows 2000 Professional ", L"5.0.2195.0"},
    {"2000 server", Nt(5, 0, 2195, SRV, X86), L"Microsoft Windows 2000 ", L"5.0.2195.0"},
    {"5.3", Nt(5, 3, 4000, WS, AMD64), L"Windows", L"5.3.4000.0"},
    {"5.3 server", Nt(5, 3, 4000, SRV, X86), L"Windows", L"5.3.4000.0"},
    {"NT 4", Nt(4, 0, 1381, WS, X86), L"Microsoft Windows NT Workstation 4.0 ", L"4.0.1381.0"},
    {"NT 4 server", Nt(4, 0, 1381, SRV, X86), L"Microsoft Windows NT ", L"4.0.1381.0"},
    {"NT 3.51", Nt(3, 51, 1057, SRV, X86), L"Microsoft Windows NT ", L"3.51.1057.0"},
    {"NT 3.51 workstation", Nt(3, 51, 1057, WS, X86), L"Microsoft Windows NT Professional ", L"3.51.1057.0"},
    {"7.0", Nt(7, 0, 1, SRV, X86), L"Windows", L"7.0.1.0"},
    {"10.0 x64", Nt(10, 0, 19045, WS, AMD64), L"Windows", L"10.0.19045.0"},

    // The edition suffix and its order.
    {"NT 4 beats the Home bit", Nt(4, 0, 1381, WS, X86, HOME), L"Microsoft Windows NT Workstation 4.0 ",
     L"4.0.1381.0"},
    {"XP Home", Nt(5, 1, 2600, WS, X86, HOME), L"Microsoft Windows XP Home Edition ", L"5.1.2600.0"},
    {"Vista x86", Nt(6, 0, 6002, WS, X86), L"Windows Vista Professional ", L"6.0.6002.0"},
    {"7 x86", Nt(6, 1, 7601, WS, X86), L"Windows 7Professional ", L"6.1.7601.0"},
    {"7 Home x86", Nt(6, 1, 7601, WS, X86, HOME), L"Windows 7Home Edition ", L"6.1.7601.0"},
    {"7 Home x64", Nt(6, 1, 7601, WS, AMD64, HOME), L"Windows 7", L"6.1.7601.0"},
    {"8 on ARM64", Nt(6, 2, 9200, WS, ARM64), L"Windows 8Professional ", L"6.2.9200.0"},
    {"6.4 x86", Nt(6, 4, 9841, WS, X86), L"WindowsProfessional ", L"6.4.9841.0"},
    {"10.0 x86", Nt(10, 0, 19045, WS, X86), L"WindowsProfessional ", L"10.0.19045.0"},
    {"server x86", Nt(6, 1, 7601, SRV, X86), L"Windows Server 2008 R2", L"6.1.7601.0"},
    {"domain controller", Nt(6, 1, 7601, DC, X86, HOME), L"Windows Server 2008 R2", L"6.1.7601.0"},
    {"NT without success", NtWithoutSuccess(), L"Windows 7", L"6.1.7601.0"},

    // Versions.
    {"build above 65535", Nt(6, 1, 70000, WS, AMD64), L"Windows 7", L"6.1.4464.0"},
    {"failed query", Failed(), L"Windows", L"0.0.0.0"},
    {"not NT", NotNt(), L"Windows", L"0.0.0.0"},
};

TEST(OsDescription, DecisionTable)
{
    for (const OsRow& row : kRows) {
        std::wstring name = L"Windows";
        VersionQuad version;
        DecideOperatingSystem(row.inputs, name, version);
        EXPECT_EQ(name, row.name) << row.what;
        EXPECT_EQ(FormatVersion(version), row.version) << row.what;
    }
}

TEST(OsDescription, KeepsTheCallersValuesWhereItDecidesNothing)
{
    std::wstring name = L"Caller";
    VersionQuad version(1, 2, 3, 4);
    DecideOperatingSystem(NotNt(), name, version);
    EXPECT_EQ(name, L"Caller");
    EXPECT_EQ(FormatVersion(version), L"1.2.3.4");

    DecideOperatingSystem(Nt(10, 0, 19045, WS, AMD64), name, version);
    EXPECT_EQ(name, L"Caller");
    EXPECT_EQ(FormatVersion(version), L"10.0.19045.0");
}

} // namespace
