#pragma once

#include "install/patch_outcome.h"
#include "shared/run_log.h"

#include <string>

// How the log files an exit code: done, a product's state (1642), a failure.
LogType ExitCodeLogType(unsigned exitCode);
// The same for "/whatif", whose 1 says that a patch is due: no error, or
// every machine merely due would count as failed where errors are counted.
LogType WhatIfExitCodeLogType(unsigned exitCode);

// The exit code of an install run for deployment systems, in the installer's
// own terms. Success (0, 3010 restart required, 1641 restart started) only
// when every target product the run found ends at or above its patch's
// upgrade version; otherwise the first failed installer call's code, else
// 1642 for a product the update does not serve (or none installed); a
// patch that could not be read gives the reader's error, a wrapper without
// patches 1603.
unsigned DeploymentExitCode(PatchOutcome overall, unsigned lastError, unsigned restartRequest,
                            unsigned firstInstallerFailure, bool productLeftBehind);

// The code of "/whatif /exitcode": the install run's, except that a run that
// would succeed (0) and install at least one patch answers 1, so that a
// check tells "nothing to do" from "would patch".
unsigned WhatIfExitCode(unsigned installRunCode, bool patchDue);

// ERROR_INVALID_COMMAND_LINE: a command line the wrapper cannot follow.
constexpr unsigned kInvalidCommandLine = 1639;

// The log's last record: "Exit code N", or without /exitcode "Exit code 0
// (with /exitcode: N)", the code a deployment would have been given.
std::wstring ExitCodeRecord(unsigned exitCode, bool deploymentExitCode);
