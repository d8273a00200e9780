#pragma once

#include "install/patch_outcome.h"
#include "install/product_record.h"

#include <cstdint>
#include <string>
#include <vector>

// What the install run would do, or did, with one slot that holds a patch.
struct SlotRecord {
    int slot = 0;
    std::wstring resourceName;
    std::wstring patchCode;  // empty when the patch names none
    std::uint64_t size = 0;
    std::vector<std::wstring> targetProducts;  // the patch's product codes, in its order
    std::wstring targetVersions;
    std::wstring upgradeVersion;
    // Every product the patch names, in its order: the installed ones with
    // their verdicts, the others as not installed.
    std::vector<ProductRecord> products;
    // As the run would fold it if every installer call succeeded.
    PatchOutcome outcome = kNoOutcome;
    std::vector<Removal> removedAgain;
    std::vector<KeptPatch> keptApplied;  // a rolled-back slot's installed products that keep its patch
};

// The install run's decisions, made without changing the machine, or what
// an install run did.
struct RunRecord {
    std::vector<SlotRecord> slots;  // the slots the run would look at, in order
    PatchOutcome overall = kNoOutcome;
    bool stopped = false;         // the last slot would stop the run
    unsigned exitCode = 0;        // what /exitcode would end with
};

// Whether the machine needs a restart after the run: an installer call
// that installed a patch (`restartRequest`, the stronger of their answers)
// or one that removed a patch again answered 3010 or 1641.
bool RestartNeeded(const RunRecord& run, unsigned restartRequest);

// A product's verdict as the plan words it: "would be patched from X to
// Y", "up to date at X", "version X not targeted", "not installed", with
// the slot whose patch the plan takes to have brought it to X.
std::wstring PlanVerdictText(const ProductRecord& product);

// One product in a plan's box: its code and name, the verdict under it,
// and under that each failure hint and each missing cached copy of this
// wrapper's patches, with what would become of it.
std::wstring PlanProductLines(const ProductRecord& product, const std::wstring& verdict);

// The end of a plan's box: a wrapper without patches, where the run would
// stop, the outcome and the exit code.
std::wstring PlanClosingLines(const RunRecord& plan, const wchar_t* outcomeName);

// The plan's box: one block per slot in the patch report's layout, each
// product's failure hints indented under its verdict, then
// where the run would stop, its outcome and the exit code.
std::wstring FormatRunPlan(const RunRecord& plan, const wchar_t* outcomeName);
