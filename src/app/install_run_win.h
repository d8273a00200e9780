#pragma once

#include "app/run_record.h"
#include "install/decision_win.h"

#include <string>
#include <vector>

// What the run knows of one slot once it is decided (or, for the install
// run, done): every product the patch names, in its order, the installed
// ones with their records, the others as not installed.
SlotRecord RecordOfSlot(int slotNumber, PatchOutcome outcome, const SlotDecision& decision);

// The notice of a wrapper built without any patch. The install run shows
// it even when quiet.
void ShowMissingPatchNotice();

// The outcome box of a run (see ShowOutcomeMessage) and the log's record
// of it.
void ShowRunOutcome(int messageId, const std::vector<std::wstring>& values = {});

// The install run: every embedded patch in slot order, one message, and
// removal of this run's patches when the run failed. Records in `run` what
// it did, and returns the run's exit code for deployment systems (see
// DeploymentExitCode).
unsigned RunInstall(RunRecord& run);

// Removes the patches of the slots the run installed, in ascending slot
// order, and records each removing call in its slot.
void RollBackInstalled(RunRecord& run);
