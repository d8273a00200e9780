#include "app/exit_code.h"

namespace {

constexpr unsigned kInstallFailure = 1603;
constexpr unsigned kPatchTargetNotFound = 1642;
constexpr unsigned kRestartInitiated = 1641;
constexpr unsigned kRestartRequired = 3010;

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
        return lastError != 0 && lastError != kRestartRequired && lastError != kRestartInitiated
                   ? lastError
                   : kInstallFailure;
    }
}

unsigned StrongerRestart(unsigned current, unsigned installerResult)
{
    if (installerResult == kRestartInitiated || current == kRestartInitiated)
        return kRestartInitiated;
    if (installerResult == kRestartRequired)
        return kRestartRequired;
    return current;
}
