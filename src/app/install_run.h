#pragma once

#include "install/patch_outcome.h"
#include "shared/run_log.h"

// Folds the outcome of one more patch into the run's overall outcome. The
// first fatal outcome decides the run; otherwise Installed beats UpToDate,
// which beats NoPatch. True when the run must stop here.
bool FoldOutcome(PatchOutcome& overall, PatchOutcome patch);

// The outcome message of a finished run (0 for the missing-patch notice,
// which is not an outcome message) and whether its patches are removed again.
int OutcomeMessageId(PatchOutcome overall);
bool RunNeedsRollback(PatchOutcome overall);

// The outcome's name for the log: "Installed", "UpToDate", ...
const wchar_t* OutcomeName(PatchOutcome outcome);

// How the log files an outcome: as planned, a product's state, a failure.
LogType OutcomeLogType(PatchOutcome outcome);
