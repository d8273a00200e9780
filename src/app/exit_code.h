#pragma once

#include "install/patch_outcome.h"
#include "shared/run_log.h"

// The exit code of an install run for deployment systems, in the installer's
// own terms. Success (0, 3010 restart required, 1641 restart started) only
// when every target product the run found ends at or above its patch's
// upgrade version; otherwise the first failed installer call's code, else
// 1642 for a product the update does not serve (or none installed); a
// patch that could not be read gives the reader's error, a wrapper without
// patches 1603.
// How the log files an exit code: done, a product's state (1642), a failure.
LogType ExitCodeLogType(unsigned exitCode);

unsigned DeploymentExitCode(PatchOutcome overall, unsigned lastError, unsigned restartRequest,
                            unsigned firstInstallerFailure, bool productLeftBehind);
