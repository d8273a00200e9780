#include "diagnostics/os_description.h"

namespace {

constexpr std::uint32_t kPlatformNt = 2;
constexpr std::uint8_t kWorkstation = 1;
constexpr std::uint16_t kSuitePersonal = 0x200;
constexpr std::uint16_t kArchitectureAmd64 = 9;

// The name for a version, or nullptr where the caller's name is kept.
// Several names end in a blank so that an edition suffix reads as a word.
const wchar_t* NameFor(const OsVersionInputs& in)
{
    const bool workstation = in.productType == kWorkstation;
    if (in.major <= 4)
        return L"Microsoft Windows NT ";
    if (in.major == 5) {
        switch (in.minor) {
        case 0:
            return L"Microsoft Windows 2000 ";
        case 1:
            return L"Microsoft Windows XP ";
        case 2:
            // Only XP x64 is a 5.2 workstation; any other 5.2 takes the
            // server's name.
            if (workstation && in.architecture == kArchitectureAmd64)
                return L"Microsoft Windows XP Professional x64 Edition ";
            return L"Microsoft Windows Server 2003";
        default:
            return nullptr;
        }
    }
    if (in.major == 6) {
        switch (in.minor) {
        case 0:
            return workstation ? L"Windows Vista " : L"Windows Server 2008 ";
        case 1:
            return workstation ? L"Windows 7" : L"Windows Server 2008 R2";
        case 2:
            return workstation ? L"Windows 8" : L"Windows Server 2012";
        case 3:
            return workstation ? L"Windows 8.1" : L"Windows Server 2012 R2";
        default:
            return nullptr;
        }
    }
    return nullptr;
}

const wchar_t* EditionSuffixFor(const OsVersionInputs& in)
{
    if (!in.querySucceeded || in.productType != kWorkstation || in.architecture == kArchitectureAmd64)
        return nullptr;
    if (in.major == 4)
        return L"Workstation 4.0 ";
    if ((in.suiteMask & kSuitePersonal) != 0)
        return L"Home Edition ";
    return L"Professional ";
}

} // namespace

void DecideOperatingSystem(const OsVersionInputs& inputs, std::wstring& name, VersionQuad& version)
{
    if (inputs.platformId != kPlatformNt)
        return;
    version = VersionQuad(static_cast<long>(inputs.major & 0xFFFF), static_cast<long>(inputs.minor & 0xFFFF),
                          static_cast<long>(inputs.build & 0xFFFF), 0);
    if (const wchar_t* fixedName = NameFor(inputs))
        name = fixedName;
    if (const wchar_t* suffix = EditionSuffixFor(inputs))
        name += suffix;
}
