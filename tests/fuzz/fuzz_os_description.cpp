// The operating-system name and version from whatever the platform reports.
//
// Input fields: eight numbers (query succeeded, platform id, major, minor,
// build, product type, suite mask, architecture), the caller's name, and
// the caller's version (four numbers).

#include "fuzz_input.h"

#include "diagnostics/os_description.h"

namespace {

const wchar_t* const kKnownNames[] = {
    L"Microsoft Windows NT ",
    L"Microsoft Windows 2000 ",
    L"Microsoft Windows XP ",
    L"Microsoft Windows XP Professional x64 Edition ",
    L"Microsoft Windows Server 2003",
    L"Windows Vista ",
    L"Windows Server 2008 ",
    L"Windows 7",
    L"Windows Server 2008 R2",
    L"Windows 8",
    L"Windows Server 2012",
    L"Windows 8.1",
    L"Windows Server 2012 R2",
};

bool IsKnownName(const std::wstring& name)
{
    for (const wchar_t* known : kKnownNames) {
        if (name == known)
            return true;
    }
    return false;
}

// The edition suffix the rules call for: only on a workstation that is
// not AMD64, and only after a query that succeeded.
std::wstring ExpectedSuffix(const OsVersionInputs& in)
{
    if (!in.querySucceeded || in.productType != 1 || in.architecture == 9)
        return std::wstring();
    if (in.major == 4)
        return L"Workstation 4.0 ";
    if ((in.suiteMask & 0x200) != 0)
        return L"Home Edition ";
    return L"Professional ";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::wstring> fields = fuzz::Fields(data, size);
    const std::vector<std::uint32_t> n = fuzz::Numbers(fuzz::FieldOrEmpty(fields, 0));
    OsVersionInputs in;
    in.querySucceeded = fuzz::NumberOrZero(n, 0) != 0;
    in.platformId = fuzz::NumberOrZero(n, 1);
    in.major = fuzz::NumberOrZero(n, 2);
    in.minor = fuzz::NumberOrZero(n, 3);
    in.build = fuzz::NumberOrZero(n, 4);
    in.productType = static_cast<std::uint8_t>(fuzz::NumberOrZero(n, 5));
    in.suiteMask = static_cast<std::uint16_t>(fuzz::NumberOrZero(n, 6));
    in.architecture = static_cast<std::uint16_t>(fuzz::NumberOrZero(n, 7));

    const std::wstring callerName = fuzz::FieldOrEmpty(fields, 1);
    const std::vector<std::uint32_t> v = fuzz::Numbers(fuzz::FieldOrEmpty(fields, 2));
    const VersionQuad callerVersion(fuzz::NumberOrZero(v, 0), fuzz::NumberOrZero(v, 1),
                                    fuzz::NumberOrZero(v, 2), fuzz::NumberOrZero(v, 3));

    std::wstring name = callerName;
    VersionQuad version = callerVersion;
    DecideOperatingSystem(in, name, version);

    if (in.platformId != 2) {
        FUZZ_CHECK(name == callerName);
        FUZZ_CHECK(VersionEqual(version, callerVersion));
        return 0;
    }

    FUZZ_CHECK(version.major == (in.major & 0xFFFF));
    FUZZ_CHECK(version.minor == (in.minor & 0xFFFF));
    FUZZ_CHECK(version.build == (in.build & 0xFFFF));
    FUZZ_CHECK(version.revision == 0);

    // The name is the caller's or a known one, then at most one suffix.
    const std::wstring suffix = ExpectedSuffix(in);
    FUZZ_CHECK(fuzz::EndsWith(name, suffix));
    const std::wstring base = name.substr(0, name.size() - suffix.size());
    FUZZ_CHECK(base == callerName || IsKnownName(base));
    if (in.major <= 4)
        FUZZ_CHECK(base == L"Microsoft Windows NT ");
    if (in.major > 6)
        FUZZ_CHECK(base == callerName);
    if (in.major == 5 && in.minor > 2)
        FUZZ_CHECK(base == callerName);
    if (in.major == 6 && in.minor > 3)
        FUZZ_CHECK(base == callerName);
    if ((in.major == 5 && in.minor <= 2) || (in.major == 6 && in.minor <= 3))
        FUZZ_CHECK(IsKnownName(base));
    // Only a 5.2 AMD64 workstation is XP x64.
    if (base == L"Microsoft Windows XP Professional x64 Edition ")
        FUZZ_CHECK(in.productType == 1 && in.architecture == 9 && in.major == 5 && in.minor == 2);
    // Server names only for servers, from 6.0 on.
    if (in.major == 6 && fuzz::StartsWith(base, L"Windows Server"))
        FUZZ_CHECK(in.productType != 1);

    // The same inputs give the same answer whatever the caller's defaults,
    // once a known name is chosen.
    if (IsKnownName(base) && base != callerName) {
        std::wstring otherName = callerName + L"x";
        VersionQuad otherVersion(1, 2, 3, 4);
        DecideOperatingSystem(in, otherName, otherVersion);
        FUZZ_CHECK(otherName == name);
        FUZZ_CHECK(VersionEqual(otherVersion, version));
    }
    return 0;
}
