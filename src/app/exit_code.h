#pragma once

#include "install/patch_outcome.h"

// The exit code of an install run for deployment systems, in the installer's
// own terms: 0 done (3010 restart required, 1641 restart started), 1642 no
// product the update applies to, the installer's code (or the reader's
// error) for a failure, 1603 for a wrapper without patches.
unsigned DeploymentExitCode(PatchOutcome overall, unsigned lastError, unsigned restartRequest);
