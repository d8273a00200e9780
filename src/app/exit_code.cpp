#include "app/exit_code.h"

#include "install/installer_result.h"

namespace {

constexpr unsigned kInstallFailure = 1603;
constexpr unsigned kPatchTargetNotFound = 1642;

} // namespace

unsigned DeploymentExitCode(PatchOutcome overall, unsigned lastError, unsigned restartRequest)
{
    switch (overall) {
    case Installed:
    case UpToDate:
        return restartRequest;
    case WrongVersion:
    case NoProduct:
        return kPatchTargetNotFound;
    case NoPatch:
        return kInstallFailure;
    default:
        // A failure never reads as success, whatever the last-error value held.
        return IsInstallSuccess(lastError) ? kInstallFailure : lastError;
    }
}
