#pragma once

#include "payload/patch_slots.h"

#include <array>

using InstalledFlags = std::array<bool, kPatchSlotCount + 1>;  // index = slot number

// The install run: every embedded patch in slot order, one message, and
// removal of this run's patches when the run failed. Returns the run's
// exit code for deployment systems (see DeploymentExitCode).
unsigned RunInstall();

// Removes the patches of the slots flagged, in ascending slot order.
void RollBackInstalled(const InstalledFlags& flags);
