#pragma once

#include "app/run_record.h"

// Goes through the install run's decisions slot by slot, with its rules and
// in its order, without any call that changes the machine.
RunRecord PlanInstall();

// "/whatif": makes the plan, logs it, shows it unless /q, and returns the
// code /exitcode would give (see WhatIfExitCode).
unsigned RunWhatIf(RunRecord& plan);
