#include "install/installer_result.h"

#include "install/msi_api.h"

bool IsInstallSuccess(unsigned installerResult)
{
    return installerResult == kMsiSuccess || installerResult == kMsiRestartInitiated ||
           installerResult == kMsiRestartRequired;
}

unsigned StrongerRestart(unsigned current, unsigned installerResult)
{
    if (installerResult == kMsiRestartInitiated || current == kMsiRestartInitiated)
        return kMsiRestartInitiated;
    if (installerResult == kMsiRestartRequired)
        return kMsiRestartRequired;
    return current;
}
