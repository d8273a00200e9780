#pragma once

#include <cstddef>
#include <string>

#include "kit_context_win.h"
#include "kit_job_win.h"

// One check of the kit: what it found wrong first, if anything, or why
// what it checks cannot be seen on this machine.
struct KitCase {
    const wchar_t* name;
    Findings (*run)(const Kit& kit, CaseJob& job);
    // Whether it shows anything only where the test patches apply: without
    // working fixtures it is skipped, the others still run.
    bool needsPatches;
};

// The patches applied straight with msiexec, before any wrapper runs: a
// wrapper's case says nothing when its fixtures are broken.
extern const KitCase kFixtureCase;
// The wrapper's cases, in the order they run: some take over the products
// as an earlier one left them.
extern const KitCase kWrapperCases[];
extern const std::size_t kWrapperCaseCount;

// The version every test patch moves its products to.
extern const wchar_t kUpgradeVersion[];
