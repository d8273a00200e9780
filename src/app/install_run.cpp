#include "app/install_run.h"

#include "messages.h"

bool FoldOutcome(PatchOutcome& overall, PatchOutcome patch)
{
    switch (patch) {
    case Installed:
        overall = Installed;
        return false;
    case UpToDate:
        if (overall == kNoOutcome || overall == NoPatch)
            overall = UpToDate;
        return false;
    case NoPatch:
        if (overall == kNoOutcome)
            overall = NoPatch;
        return false;
    default:
        overall = patch;
        return true;
    }
}

int OutcomeMessageId(PatchOutcome overall)
{
    switch (overall) {
    case Installed:
        return IDS_INSTALL_SUCCEEDED;
    case UpToDate:
        return IDS_UP_TO_DATE;
    case WrongVersion:
        return IDS_WRONG_VERSION;
    case NoProduct:
        return IDS_NO_PRODUCT;
    case NoPatch:
        return 0;
    default:
        return IDS_INSTALL_FAILED;
    }
}

const wchar_t* OutcomeName(PatchOutcome outcome)
{
    switch (outcome) {
    case Failed:
        return L"Failed";
    case Installed:
        return L"Installed";
    case UpToDate:
        return L"UpToDate";
    case WrongVersion:
        return L"WrongVersion";
    case NoProduct:
        return L"NoProduct";
    case NoPatch:
        return L"NoPatch";
    case Removed:
        return L"Removed";
    case NothingToRemove:
        return L"NothingToRemove";
    default:
        return L"none";
    }
}

LogType OutcomeLogType(PatchOutcome outcome)
{
    switch (outcome) {
    case Installed:
    case UpToDate:
    case Removed:
    case NothingToRemove:
        return kLogInfo;
    case WrongVersion:
    case NoProduct:
        return kLogWarning;
    default:
        return kLogError;
    }
}

bool RunNeedsRollback(PatchOutcome overall)
{
    return overall != Installed && overall != UpToDate && overall != NoPatch;
}
