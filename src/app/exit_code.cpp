#include "app/exit_code.h"

#include "install/msi_api.h"

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
        return lastError != 0 && lastError != kMsiRestartRequired && lastError != kMsiRestartInitiated
                   ? lastError
                   : kInstallFailure;
    }
}

unsigned StrongerRestart(unsigned current, unsigned installerResult)
{
    if (installerResult == kMsiRestartInitiated || current == kMsiRestartInitiated)
        return kMsiRestartInitiated;
    if (installerResult == kMsiRestartRequired)
        return kMsiRestartRequired;
    return current;
}
