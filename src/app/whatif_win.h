#pragma once

#include "app/run_record.h"

#include <string>

// Goes through the install run's decisions slot by slot, with its rules and
// in its order, without any call that changes the machine.
RunRecord PlanInstall();

// "/whatif": makes the plan, logs it, shows it unless /q, and returns the
// code /exitcode would give (see WhatIfExitCode).
unsigned RunWhatIf(RunRecord& plan);

// The end of a plan: the box with `text` unless /q, and the exit code's
// record, as "/whatif" files it.
void ShowPlan(const std::wstring& text, unsigned exitCode);
