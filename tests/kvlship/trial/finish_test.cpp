// When the trial takes a run of setup.exe for over, on recorded window
// lists: the screens and boxes look at each listing at its time, as the
// trial's loop does, and the finish detection reads what they saw and
// setup's process.
#include "trial/finish.h"

#include "fakeoperator.h"
#include "fixtures.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

// One run driven through listings, each seen at its time.
struct Replay {
    FakeOperator op;
    SetupRun run{""};
    bool silent = false;

    Replay()
    {
        run.process.setupPid = 7;
        op.defaultReply = R"({"result": 1397424129})";
    }
    // Looks at `listing` at `now`; true when the run is over.
    bool See(double now, const std::string &listing)
    {
        op.now = now;
        std::vector<TopWindow> windows = Listed(listing);
        if (!run.boxes.Answer(windows, run.process, op, &run.record))
            return true;
        run.screens.Look(windows, run.process, op, &run.record);
        return Finished(run, silent, op);
    }
    void SetupEnds(double now, long long demoPid = -1)
    {
        run.process.ended = true;
        run.process.endedAt = now;
        run.process.demoPid = demoPid;
    }
};

} // namespace

TEST(TrialFinish, AWholeRunAgreesPhotographsEachStageAndEndsWithTheDemonstration)
{
    Replay replay;
    EXPECT_FALSE(replay.See(1, kPresentation));
    EXPECT_EQ(replay.op.actions, (std::vector<std::string>{"shoot agreement", "press 0x100 1172"}));
    EXPECT_FALSE(replay.See(2, kPresentation)); // not pressed again so soon
    EXPECT_EQ(replay.op.actions.size(), 2u);
    EXPECT_FALSE(replay.See(3, kPreparing));
    EXPECT_FALSE(replay.See(5, kCopying));
    EXPECT_FALSE(replay.See(9, kShortcuts));
    replay.SetupEnds(10, 9);
    EXPECT_FALSE(replay.See(11, ""));
    EXPECT_TRUE(replay.See(12, kDemoWindow));
    EXPECT_TRUE(replay.run.record.agreed);
    EXPECT_TRUE(replay.run.record.copied);
    EXPECT_TRUE(replay.run.record.demoShown);
    EXPECT_EQ(replay.run.record.screenshots,
              (std::vector<std::string>{"agreement.png", "preparing.png", "copying.png",
                                        "shortcuts.png", "demonstration.png"}));
    EXPECT_TRUE(replay.op.Told().empty());
}

TEST(TrialFinish, ADemonstrationThatShowsNoWindowIsWaitedForLongerThanNone)
{
    Replay started, none;
    for (Replay *replay : {&started, &none}) {
        replay->See(1, kPresentation);
        replay->See(3, kShortcuts);
    }
    started.SetupEnds(10, 9);
    none.SetupEnds(10);
    EXPECT_FALSE(none.See(12.9, ""));
    EXPECT_TRUE(none.See(13.1, ""));
    EXPECT_FALSE(started.See(29.9, ""));
    EXPECT_TRUE(started.See(30.1, ""));
    EXPECT_TRUE(started.op.Told().empty());
}

TEST(TrialFinish, SetupEndingBeforeTheCopyOrTheAgreementIsTheProblem)
{
    Replay early;
    early.See(1, kPresentation);
    early.See(2, kPreparing);
    early.SetupEnds(4);
    EXPECT_TRUE(early.See(7.5, ""));
    EXPECT_EQ(early.op.Told(),
              std::vector<std::string>{"setup.exe ended before the copy was done"});

    Replay before;
    before.SetupEnds(1);
    EXPECT_TRUE(before.See(4.5, ""));
    EXPECT_EQ(before.op.Told(),
              std::vector<std::string>{"setup.exe ended before its agreement dialog"});

    Replay silent;
    silent.silent = true;
    silent.SetupEnds(1);
    EXPECT_TRUE(silent.See(4.5, ""));
    EXPECT_TRUE(silent.op.Told().empty());
}

TEST(TrialFinish, AnAgreementThatNeverComesEndsTheRunUnlessSilentOrABoxCame)
{
    Replay waiting, silent, asked;
    silent.silent = true;
    EXPECT_FALSE(waiting.See(89, ""));
    EXPECT_TRUE(waiting.See(91, ""));
    EXPECT_EQ(waiting.op.Told(),
              std::vector<std::string>{"the agreement dialog did not appear within 90 s"});
    EXPECT_FALSE(silent.See(91, ""));
    asked.See(1, kQuestion);
    EXPECT_FALSE(asked.See(91, ""));
}

TEST(TrialFinish, AfterTheShellsErrorTheRunEndsWithSetupOrTenSecondsLater)
{
    Replay waited, ended;
    for (Replay *replay : {&waited, &ended})
        EXPECT_FALSE(replay->See(5, kShellError));
    EXPECT_FALSE(waited.See(14.9, ""));
    EXPECT_TRUE(waited.See(15.1, ""));
    ended.SetupEnds(6);
    EXPECT_TRUE(ended.See(6.1, ""));
    // The error is the problem; the early end that follows comes after it.
    ASSERT_FALSE(ended.op.Told().empty());
    EXPECT_EQ(ended.op.Told()[0].substr(0, 26), "setup.exe showed the error");
}
