// setup.exe's screens as the trial drives them, on recorded window lists:
// I Agree pressed as a person would, and each stage photographed once.
#include "trial/screens.h"

#include "fakeoperator.h"
#include "fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace
{

SetupProcess SetupSeven()
{
    SetupProcess process;
    process.setupPid = 7;
    return process;
}

size_t Presses(const FakeOperator &op)
{
    return static_cast<size_t>(
        std::count(op.actions.begin(), op.actions.end(), "press 0x100 1172"));
}

} // namespace

TEST(TrialScreens, APresentationThatStaysIsPressedAgainThreeTimesAtMost)
{
    FakeOperator op;
    RunRecord record;
    Screens screens;
    for (double now : {1.0, 2.0, 4.5, 8.0, 12.0, 30.0}) {
        op.now = now;
        screens.Look(Listed(kPresentation), SetupSeven(), op, &record);
    }
    EXPECT_EQ(Presses(op), 3u);
    EXPECT_EQ(screens.AgreePosts(), 3);
    EXPECT_FALSE(record.agreed);
    op.now = 31;
    screens.Look(Listed(""), SetupSeven(), op, &record);
    EXPECT_TRUE(record.agreed);
    EXPECT_EQ(record.screenshots, std::vector<std::string>{"agreement.png"});
}

TEST(TrialScreens, EachStageOnceAndOnlySetupsOwnCopyWindow)
{
    FakeOperator op;
    RunRecord record;
    Screens screens;
    std::string otherCopy = kCopying;
    otherCopy.replace(otherCopy.find("\"pid\": 7"), 8, "\"pid\": 8");
    for (const char *listing : {kPreparing, kPreparing, otherCopy.c_str(), kShortcuts})
        screens.Look(Listed(listing), SetupSeven(), op, &record);
    EXPECT_EQ(record.screenshots, (std::vector<std::string>{"preparing.png", "shortcuts.png"}));
    EXPECT_TRUE(record.copied);
    EXPECT_TRUE(screens.SawShortcuts());
    EXPECT_FALSE(record.agreed); // the preparing dialog counts only after I Agree
    EXPECT_FALSE(record.demoShown);
}
