// Whether a trial passed, from what it found: setup's exit code, the
// stages, the problems, the removal.
#include "trial/verdict.h"

#include "setupexit.h"

#include <gtest/gtest.h>

namespace
{

// A run that agreed and copied, and ended with `exitCode`.
TrialResult Ran(int exitCode)
{
    TrialResult trial;
    trial.started = true;
    trial.agreed = trial.copied = true;
    trial.exitCode = exitCode;
    return trial;
}

} // namespace

TEST(TrialVerdict, ACompleteRunPassesAndAnyOtherEndFails)
{
    TrialVerdict complete = JudgeTrial(Ran(SETUP_EXIT_COMPLETE), false);
    EXPECT_TRUE(complete.passed);
    EXPECT_TRUE(complete.faults.empty());
    ASSERT_EQ(complete.warnings.size(), 1u); // the distribution's code ran

    TrialVerdict partial = JudgeTrial(Ran(SETUP_EXIT_FILE_FAILED), false);
    EXPECT_FALSE(partial.passed);
    ASSERT_EQ(partial.faults.size(), 1u);
    EXPECT_EQ(partial.faults[0], "setup.exe ended with exit code 4, a file could not be "
                                 "installed: the installation is partial");

    TrialResult uncopied = Ran(SETUP_EXIT_COMPLETE);
    uncopied.copied = false;
    EXPECT_FALSE(JudgeTrial(uncopied, false).passed);
    EXPECT_TRUE(JudgeTrial(uncopied, true).passed); // a silent setup shows no stage

    TrialResult stopped = Ran(SETUP_EXIT_COMPLETE);
    stopped.problems.Error("stop", "the trial was stopped by SIGINT");
    EXPECT_FALSE(JudgeTrial(stopped, false).passed);
    EXPECT_EQ(TrialProblem(stopped), "the trial was stopped by SIGINT");

    TrialResult left = Ran(SETUP_EXIT_COMPLETE);
    left.uninstallCommands = {"uninst.exe /S"};
    left.uninstallExitCodes = {2};
    left.leftBehind = {"C:\\Atlas\\A.TXT"};
    TrialVerdict removal = JudgeTrial(left, false);
    EXPECT_FALSE(removal.passed);
    EXPECT_EQ(removal.faults,
              (std::vector<std::string>{"the removal uninst.exe /S ended with exit code 2",
                                        "the removal left C:\\Atlas\\A.TXT behind"}));
}

TEST(TrialVerdict, ARestartToReplaceFilesInUsePassesWithAWarning)
{
    TrialVerdict restart = JudgeTrial(Ran(SETUP_EXIT_RESTART), false);
    EXPECT_TRUE(restart.passed);
    EXPECT_TRUE(restart.faults.empty());
    ASSERT_EQ(restart.warnings.size(), 2u);
    EXPECT_NE(restart.warnings[1].find("restart"), std::string::npos);
    EXPECT_TRUE(SetupInstalled(SETUP_EXIT_RESTART));
}
