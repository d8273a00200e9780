#pragma once

#include "install/patch_outcome.h"
#include "install/product_record.h"

#include <string>
#include <vector>

// What the install run would do with one slot that holds a patch.
struct SlotPlan {
    int slot = 0;
    std::wstring resourceName;
    std::wstring targetVersions;
    std::wstring upgradeVersion;
    // Every product the patch names, in its order: the installed ones with
    // their verdicts, the others as not installed.
    std::vector<ProductRecord> products;
    // As the run would fold it if every installer call succeeded.
    PatchOutcome outcome = kNoOutcome;
    // The products this slot's patch would be removed from again when a
    // later slot stops the run.
    std::vector<std::wstring> removedAgain;
};

// The install run's decisions, made without changing the machine.
struct RunPlan {
    std::vector<SlotPlan> slots;  // the slots the run would look at, in order
    PatchOutcome overall = kNoOutcome;
    bool stopped = false;         // the last slot would stop the run
    unsigned exitCode = 0;        // what /exitcode would end with
};

// A product's verdict as the plan words it: "would be patched from X to
// Y", "up to date at X", "version X not targeted", "not installed", with
// the slot whose patch the plan takes to have brought it to X.
std::wstring PlanVerdictText(const ProductRecord& product);

// The plan's box: one block per slot in the patch report's layout, then
// where the run would stop, its outcome and the exit code.
std::wstring FormatRunPlan(const RunPlan& plan, const wchar_t* outcomeName);
