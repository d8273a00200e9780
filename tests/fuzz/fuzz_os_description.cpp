// The operating-system name and version from whatever the platform reports.
//
// Input fields: eight numbers (query succeeded, platform id, major, minor,
// build, product type, suite mask, architecture), the caller's name, and
// the caller's version (four numbers).

#include "fuzz_input.h"

#include "diagnostics/os_description.h"

namespace {

// The edition `name` ends with, or an empty text.
std::wstring EditionOf(const std::wstring& name)
{
    for (const wchar_t* edition : {L"Workstation 4.0 ", L"Home Edition ", L"Professional "}) {
        if (fuzz::EndsWith(name, edition))
            return edition;
    }
    return std::wstring();
}

bool Contains(const std::wstring& text, const wchar_t* part)
{
    return text.find(part) != std::wstring::npos;
}

// The versions that have a name of their own: NT up to 4, 2000 to 2003,
// Vista to 8.1.
bool HasItsOwnName(std::uint32_t major, std::uint32_t minor)
{
    return major <= 4 || (major == 5 && minor <= 2) || (major == 6 && minor <= 3);
}

// The name for `in` when the caller offers `callerName`.
std::wstring NameFor(const OsVersionInputs& in, const std::wstring& callerName)
{
    std::wstring name = callerName;
    VersionQuad version;
    DecideOperatingSystem(in, name, version);
    return name;
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

    // An edition ends the name only on a workstation that is not AMD64, and
    // only after a query that succeeded: "Workstation 4.0" on 4.x, else
    // "Home Edition" with the personal suite, else "Professional".
    const bool editionDue = in.querySucceeded && in.productType == 1 && in.architecture != 9;
    const std::wstring edition = editionDue ? EditionOf(name) : std::wstring();
    if (editionDue) {
        FUZZ_CHECK(!edition.empty());
        FUZZ_CHECK((edition == L"Workstation 4.0 ") == (in.major == 4));
        FUZZ_CHECK((edition == L"Home Edition ") == (in.major != 4 && (in.suiteMask & 0x200) != 0));
    }
    const std::wstring base = name.substr(0, name.size() - edition.size());

    // A version without a name of its own keeps the caller's; one with a
    // name of its own gets it whatever the caller offers.
    if (!HasItsOwnName(in.major, in.minor)) {
        FUZZ_CHECK(base == callerName);
        return 0;
    }
    FUZZ_CHECK(NameFor(in, callerName + L"x") == name);
    FUZZ_CHECK(EditionOf(base).empty());

    // Names of their own start alike in each era.
    FUZZ_CHECK(fuzz::StartsWith(base, in.major <= 5 ? L"Microsoft Windows " : L"Windows "));
    if (in.major <= 4)
        FUZZ_CHECK(Contains(base, L"NT"));
    // 5.2 takes the server's name but on XP x64, the one 5.2 workstation
    // with a name of its own; from 6.0 on servers and workstations differ.
    const bool workstation = in.productType == 1;
    const bool xpX64 = in.major == 5 && in.minor == 2 && workstation && in.architecture == 9;
    FUZZ_CHECK(Contains(base, L"x64") == xpX64);
    if (in.major == 6)
        FUZZ_CHECK(Contains(base, L"Server") == !workstation);
    else if (in.major == 5 && in.minor == 2)
        FUZZ_CHECK(Contains(base, L"Server") == !xpX64);
    else
        FUZZ_CHECK(!Contains(base, L"Server"));

    // Neighbouring versions are told apart.
    if (in.major >= 5 && HasItsOwnName(in.major, in.minor + 1)) {
        OsVersionInputs next = in;
        next.minor = in.minor + 1;
        FUZZ_CHECK(NameFor(next, callerName) != name);
    }
    return 0;
}
