#include "install/installer_result.h"

#include "install/msi_api.h"

bool IsInstallSuccess(unsigned installerResult)
{
    return installerResult == kMsiSuccess || installerResult == kMsiRestartInitiated ||
           installerResult == kMsiRestartRequired;
}

const wchar_t* InstallerResultMeaning(unsigned installerResult)
{
    switch (installerResult) {
    case kMsiSuccess:
        return L"success";
    case kMsiRestartRequired:
        return L"restart required";
    case kMsiRestartInitiated:
        return L"restart started";
    case kMsiInstallAlreadyRunning:
        return L"another installation is in progress";
    default:
        return L"failure";
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
