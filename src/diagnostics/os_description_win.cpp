#include "diagnostics/os_description_win.h"

#include <windows.h>

namespace {

using NativeSystemInfoFunction = void(WINAPI*)(SYSTEM_INFO*);

// A 32-bit process must see the machine's architecture, not its own; older
// systems lack the native call, so it is looked up rather than imported.
WORD NativeArchitecture()
{
    SYSTEM_INFO info = {};
    const auto native = reinterpret_cast<NativeSystemInfoFunction>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetNativeSystemInfo")));
    if (native != nullptr)
        native(&info);
    else
        GetSystemInfo(&info);
    return info.wProcessorArchitecture;
}

bool QueryVersion(OSVERSIONINFOEXW& info)
{
    info = OSVERSIONINFOEXW();
    info.dwOSVersionInfoSize = sizeof info;
#ifdef _MSC_VER
#pragma warning(push)
#pragma warning(disable : 4996)  // the deprecated call is the one that tells the edition
#endif
    return GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info)) != FALSE;
#ifdef _MSC_VER
#pragma warning(pop)
#endif
}

} // namespace

OsVersionInputs QueryOperatingSystem()
{
    OSVERSIONINFOEXW info;
    OsVersionInputs inputs;
    inputs.querySucceeded = QueryVersion(info);
    inputs.architecture = NativeArchitecture();
    inputs.platformId = info.dwPlatformId;
    inputs.major = info.dwMajorVersion;
    inputs.minor = info.dwMinorVersion;
    inputs.build = info.dwBuildNumber;
    inputs.productType = info.wProductType;
    inputs.suiteMask = info.wSuiteMask;
    return inputs;
}

void DescribeOperatingSystem(std::wstring& name, VersionQuad& version)
{
    DecideOperatingSystem(QueryOperatingSystem(), name, version);
}
