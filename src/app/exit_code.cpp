#include "app/exit_code.h"

#include "install/installer_result.h"
#include "install/msi_api.h"

namespace {

constexpr unsigned kPatchTargetNotFound = 1642;

} // namespace

LogType ExitCodeLogType(unsigned exitCode)
{
    if (exitCode == kPatchTargetNotFound)
        return kLogWarning;
    return exitCode == 0 || IsInstallSuccess(exitCode) ? kLogInfo : kLogError;
}

LogType WhatIfExitCodeLogType(unsigned exitCode)
{
    return exitCode == 1 ? kLogInfo : ExitCodeLogType(exitCode);
}

std::wstring ExitCodeRecord(unsigned exitCode, bool deploymentExitCode)
{
    if (deploymentExitCode)
        return L"Exit code " + std::to_wstring(exitCode);
    return L"Exit code 0 (with /exitcode: " + std::to_wstring(exitCode) + L")";
}

unsigned DeploymentExitCode(PatchOutcome overall, unsigned lastError, unsigned restartRequest,
                            unsigned firstInstallerFailure, bool productLeftBehind)
{
    if (overall == NoPatch)
        return kMsiInstallFailure;
    // A patch installed on one product does not make up for a failure on
    // another: the next run would find that one unpatched.
    if (firstInstallerFailure != 0)
        return firstInstallerFailure;
    switch (overall) {
    case Installed:
    case UpToDate:
        return productLeftBehind ? kPatchTargetNotFound : restartRequest;
    case WrongVersion:
    case NoProduct:
        return kPatchTargetNotFound;
    default:
        // A failure never reads as success, whatever the last-error value held.
        return IsInstallSuccess(lastError) ? kMsiInstallFailure : lastError;
    }
}

unsigned WhatIfExitCode(unsigned installRunCode, bool patchDue)
{
    return installRunCode == 0 && patchDue ? 1 : installRunCode;
}
