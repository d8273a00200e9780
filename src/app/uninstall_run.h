#pragma once

#include "app/run_record.h"
#include "install/patch_outcome.h"

#include <string>
#include <vector>

// A slot's outcome under /uninstall, from its products' verdicts: Failed
// when a removal failed or left the patch present, else Removed when one
// removed it (a plan: would), else NothingToRemove.
PatchOutcome RemovalOutcomeOf(const std::vector<ProductRecord>& products);

// The run's: Failed before Removed before NothingToRemove; NoPatch
// without a slot.
PatchOutcome UninstallOutcome(const RunRecord& run);

// How many products at least one of the patches was removed from.
unsigned RemovedProductCount(const RunRecord& run);

// One product's verdict as the log and the plan word it: "would be
// removed (applied, machine context)" in a plan, "to be removed (...)"
// before the run's call, "removed", "not applied", ...
std::wstring RemovalVerdictText(const ProductRecord& product, bool planned);

// The box of "/whatif /uninstall": one block per slot, then its outcome
// and exit code.
std::wstring FormatUninstallPlan(const RunRecord& plan, const wchar_t* outcomeName);

// The code of "/whatif /uninstall /exitcode": a patch that cannot be read
// gives the reader's error, else 1 when something would be removed, else 0.
unsigned WhatIfUninstallExitCode(unsigned readError, PatchOutcome overall);

// The outcome box of /uninstall and its values: removed from N products,
// nothing to remove, or the first failure's product (or slot, where its
// patch could not be read) with its code; 1646 gets the words of a patch
// that goes only with its product.
struct OutcomeMessage {
    int messageId = 0;
    std::vector<std::wstring> values;
};
OutcomeMessage UninstallOutcomeMessage(const RunRecord& run, const std::wstring& failedAt, unsigned failedCode);
