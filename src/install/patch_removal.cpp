#include "install/patch_removal.h"

#include "install/installer_result.h"
#include "install/msi_api.h"

namespace {

// The answer says the patch is gone, or was never there: success or 1647.
bool AnswerClaimsAbsence(unsigned answer)
{
    return IsInstallSuccess(answer) || answer == kMsiUnknownPatch;
}

} // namespace

bool IsPatchPresent(unsigned state)
{
    return state == kPatchStateApplied || state == kPatchStateSuperseded || state == kPatchStateObsoleted;
}

std::wstring PatchStateName(unsigned state)
{
    switch (state) {
    case 0:
        return L"absent";
    case kPatchStateApplied:
        return L"applied";
    case kPatchStateSuperseded:
        return L"superseded";
    case kPatchStateObsoleted:
        return L"obsoleted";
    case 8:
        return L"registered";
    default:
        return L"state " + std::to_wstring(state);
    }
}

const wchar_t* InstallContextName(int context)
{
    switch (context) {
    case kContextMachine:
        return L"machine";
    case kContextUserManaged:
        return L"user-managed";
    case kContextUserUnmanaged:
        return L"user-unmanaged";
    default:
        return L"none";
    }
}

const wchar_t* RemovalVerdictName(RemovalVerdict verdict)
{
    switch (verdict) {
    case kRemovalNotReachable:
        return L"not-reachable";
    case kRemovalNotApplied:
        return L"not-applied";
    case kRemovalDue:
        return L"due";
    case kRemovalRemoved:
        return L"removed";
    case kRemovalNotRemoved:
        return L"not-removed";
    case kRemovalFailed:
        return L"failed";
    default:
        return L"not-installed";
    }
}

// The answer only names why a patch that is still present stayed.
RemovalVerdict VerdictAfterRemoval(unsigned answer, unsigned stateAfter)
{
    if (IsPatchPresent(stateAfter))
        return AnswerClaimsAbsence(answer) ? kRemovalNotRemoved : kRemovalFailed;
    return IsInstallSuccess(answer) ? kRemovalRemoved : kRemovalNotApplied;
}

std::wstring RemovalAnswerText(unsigned answer)
{
    const std::wstring code = std::to_wstring(answer) + L": ";
    switch (answer) {
    case kMsiPatchRemovalUnsupported:
        // "Uninstalling Patches": a patch that cannot be uninstalled goes
        // only with the product.
        return code + L"the patch cannot be removed; only uninstalling the product and installing it again "
                      L"without the patch removes it";
    case kMsiPatchRemovalDisallowed:
        return code + L"removing patches is forbidden by policy on this computer";
    case kMsiUnknownPatch:
        return code + L"the patch is not applied to this product";
    default:
        return code + InstallerResultMeaning(answer);
    }
}

unsigned RemovalCallCode(unsigned answer, bool leftPresent)
{
    if (!leftPresent)
        return IsInstallSuccess(answer) ? answer : 0;
    return AnswerClaimsAbsence(answer) ? kMsiInstallFailure : answer;
}

unsigned UninstallExitCode(const std::vector<unsigned>& callCodes)
{
    unsigned restart = 0;
    for (const unsigned code : callCodes) {
        if (!IsInstallSuccess(code))
            return code;
        restart = StrongerRestart(restart, code);
    }
    return restart;
}
