#include "app/exit_code.h"
#include "app/install_run.h"
#include "app/run_record.h"
#include "install/installer_result.h"
#include "install/patch_removal.h"

#include <gtest/gtest.h>

namespace {

TEST(DeploymentExitCode, DoneIsZeroOrTheRestartRequest)
{
    EXPECT_EQ(DeploymentExitCode(Installed, 0, 0, 0, false), 0u);
    EXPECT_EQ(DeploymentExitCode(UpToDate, 1603, 0, 0, false), 0u);
    EXPECT_EQ(DeploymentExitCode(Installed, 0, 3010, 0, false), 3010u);
    EXPECT_EQ(DeploymentExitCode(Installed, 0, 1641, 0, false), 1641u);
}

TEST(DeploymentExitCode, NoApplicableProductIs1642)
{
    EXPECT_EQ(DeploymentExitCode(NoProduct, 0, 0, 0, false), 1642u);
    EXPECT_EQ(DeploymentExitCode(WrongVersion, 1603, 3010, 0, false), 1642u);
}

TEST(DeploymentExitCode, AFailureCarriesTheInstallersCodeAndNeverReadsAsSuccess)
{
    EXPECT_EQ(DeploymentExitCode(Failed, 1603, 0, 0, false), 1603u);
    EXPECT_EQ(DeploymentExitCode(Failed, 1618, 3010, 0, false), 1618u);
    EXPECT_EQ(DeploymentExitCode(Failed, 4316, 0, 0, false), 4316u);
    EXPECT_EQ(DeploymentExitCode(Failed, 0, 0, 0, false), 1603u);
    EXPECT_EQ(DeploymentExitCode(Failed, 3010, 0, 0, false), 1603u);
    EXPECT_EQ(DeploymentExitCode(kNoOutcome, 0, 0, 0, false), 1603u);
}

// A run that leaves any product it found below its upgrade version is no
// success, even when the box, which reports per patch, says "installed".
TEST(DeploymentExitCode, APartlyFailedOrPartlyServedRunIsNoSuccess)
{
    EXPECT_EQ(DeploymentExitCode(Installed, 0, 0, 1603, false), 1603u);
    EXPECT_EQ(DeploymentExitCode(Installed, 0, 3010, 1618, true), 1618u);
    EXPECT_EQ(DeploymentExitCode(Installed, 0, 0, 0, true), 1642u);
    EXPECT_EQ(DeploymentExitCode(UpToDate, 0, 3010, 0, true), 1642u);
    EXPECT_EQ(DeploymentExitCode(WrongVersion, 0, 0, 1603, true), 1603u);
    // The first failed installer call outranks a later read error.
    EXPECT_EQ(DeploymentExitCode(Failed, 4316, 0, 1603, false), 1603u);
    EXPECT_EQ(DeploymentExitCode(NoPatch, 0, 0, 0, false), 1603u);
}

TEST(DeploymentExitCode, AWrapperWithoutPatchesFails)
{
    EXPECT_EQ(DeploymentExitCode(NoPatch, 0, 0, 0, false), 1603u);
}

// Done and restarts are information, 1642 a warning, the rest errors;
// "/whatif"'s 1 (a patch is due) is information.
TEST(DeploymentExitCode, HowTheLogFilesIt)
{
    const struct {
        unsigned code;
        LogType install;
        LogType whatIf;
    } rows[] = {
        {0, kLogInfo, kLogInfo},         {1, kLogError, kLogInfo},         {3010, kLogInfo, kLogInfo},
        {1641, kLogInfo, kLogInfo},      {1642, kLogWarning, kLogWarning}, {1603, kLogError, kLogError},
        {1639, kLogError, kLogError},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ExitCodeLogType(row.code), row.install) << row.code;
        EXPECT_EQ(WhatIfExitCodeLogType(row.code), row.whatIf) << row.code;
    }
}

// An installation's restart request, or a removal's answer, either of them.
TEST(DeploymentExitCode, ARestartIsNeededAfterAnInstallOrARemovalThatAsksForOne)
{
    RunRecord run;
    run.slots.resize(2);
    EXPECT_FALSE(RestartNeeded(run, 0));
    EXPECT_TRUE(RestartNeeded(run, 3010));
    EXPECT_TRUE(RestartNeeded(run, 1641));
    run.slots[1].removedAgain = {{L"{A}", 0}, {L"{B}", 1603}};
    EXPECT_FALSE(RestartNeeded(run, 0));
    for (unsigned answer : {3010u, 1641u}) {
        run.slots[1].removedAgain[0].installerResult = answer;
        EXPECT_TRUE(RestartNeeded(run, 0)) << answer;
    }
}

TEST(DeploymentExitCode, AStartedRestartOutranksARequiredOne)
{
    EXPECT_EQ(StrongerRestart(0, 0), 0u);
    EXPECT_EQ(StrongerRestart(0, 3010), 3010u);
    EXPECT_EQ(StrongerRestart(3010, 0), 3010u);
    EXPECT_EQ(StrongerRestart(3010, 1641), 1641u);
    EXPECT_EQ(StrongerRestart(1641, 3010), 1641u);
    EXPECT_EQ(StrongerRestart(0, 1603), 0u);
}

// The run's fold over the fifteen outcomes of the slots, in slot order.
PatchOutcome Fold(std::initializer_list<PatchOutcome> outcomes, int* processed = nullptr)
{
    PatchOutcome overall = kNoOutcome;
    int count = 0;
    for (PatchOutcome outcome : outcomes) {
        ++count;
        if (FoldOutcome(overall, outcome))
            break;
    }
    if (processed != nullptr)
        *processed = count;
    return overall;
}

TEST(OutcomeFold, InstalledBeatsUpToDateBeatsNoPatch)
{
    EXPECT_EQ(Fold({Installed, NoPatch, NoPatch}), Installed);
    EXPECT_EQ(Fold({UpToDate, NoPatch}), UpToDate);
    EXPECT_EQ(Fold({UpToDate, Installed}), Installed);
    EXPECT_EQ(Fold({Installed, UpToDate}), Installed);
    EXPECT_EQ(Fold({NoPatch, UpToDate, NoPatch}), UpToDate);
    EXPECT_EQ(Fold({NoPatch, NoPatch}), NoPatch);
}

TEST(OutcomeFold, TheFirstFatalOutcomeDecidesAndStops)
{
    int processed = 0;
    EXPECT_EQ(Fold({Installed, Failed, WrongVersion, Installed}, &processed), Failed);
    EXPECT_EQ(processed, 2);
    EXPECT_EQ(Fold({NoProduct, Installed}, &processed), NoProduct);
    EXPECT_EQ(processed, 1);
    EXPECT_EQ(Fold({UpToDate, NoPatch, WrongVersion}), WrongVersion);
}

TEST(OutcomeFold, MessagesAndRollback)
{
    EXPECT_EQ(OutcomeMessageId(Installed), 301);
    EXPECT_EQ(OutcomeMessageId(UpToDate), 306);
    EXPECT_EQ(OutcomeMessageId(WrongVersion), 308);
    EXPECT_EQ(OutcomeMessageId(NoProduct), 307);
    EXPECT_EQ(OutcomeMessageId(Failed), 300);
    EXPECT_EQ(OutcomeMessageId(kNoOutcome), 300);
    for (PatchOutcome outcome : {Failed, WrongVersion, NoProduct, kNoOutcome})
        EXPECT_TRUE(RunNeedsRollback(outcome)) << outcome;
    for (PatchOutcome outcome : {Installed, UpToDate, NoPatch})
        EXPECT_FALSE(RunNeedsRollback(outcome)) << outcome;
}

// /uninstall: the first failing call in call order, then a started
// restart, then a required one; 1647 found nothing and fails nothing; a
// success that left a patch present is 1603.
TEST(UninstallExitCode, TheFirstFailureThenTheStrongerRestart)
{
    const struct {
        std::vector<unsigned> codes;
        unsigned exitCode;
    } rows[] = {
        {{}, 0},
        {{0, 0}, 0},
        {{3010, 0}, 3010},
        {{3010, 1641, 3010}, 1641},
        {{1641, 1646, 1603}, 1646},
        {{0, 1618}, 1618},
        {{RemovalCallCode(0, true), 1649}, 1603},
        {{RemovalCallCode(1647, false), RemovalCallCode(3010, false)}, 3010},
    };
    for (const auto& row : rows)
        EXPECT_EQ(UninstallExitCode(row.codes), row.exitCode) << testing::PrintToString(row.codes);
    EXPECT_EQ(RemovalCallCode(1641, true), 1603u);
    EXPECT_EQ(RemovalCallCode(1649, true), 1649u);
}

} // namespace
