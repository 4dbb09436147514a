// The trial's boxes on recorded window lists: which windows are boxes,
// which button answers each, and how a box that stays is pressed again and
// given up on.
#include "trial/boxes.h"

#include "fakeoperator.h"
#include "fixtures.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

SetupProcess SetupAndDemo()
{
    SetupProcess process;
    process.setupPid = 7;
    process.demoPid = 9;
    return process;
}

TopWindow Only(const std::string &lines)
{
    std::vector<TopWindow> tops = Listed(lines);
    EXPECT_EQ(tops.size(), 1u);
    return tops.empty() ? TopWindow() : tops[0];
}

} // namespace

TEST(TrialBoxes, OnlyDialogsThatAskAreBoxes)
{
    EXPECT_TRUE(IsBox(Only(kQuestion), 9));
    EXPECT_TRUE(IsBox(Only(kDemoBox), 9));
    EXPECT_FALSE(IsBox(Only(kPresentation), 9));
    EXPECT_FALSE(IsBox(Only(kPreparing), 9));
    EXPECT_FALSE(IsBox(Only(kShortcuts), 9));
    EXPECT_FALSE(IsBox(Only(kDemoWindow), 9));
    EXPECT_TRUE(IsBox(Only(kDemoWindow), -1)); // before the demonstration is known
    EXPECT_FALSE(IsBox(Only(kCopying), 9));
}

TEST(TrialBoxes, TheShellsErrorBoxHasOneButtonAndAShellCaption)
{
    EXPECT_TRUE(IsShellError(Only(kShellError), 7));
    EXPECT_FALSE(IsShellError(Only(kShellError), 8));
    EXPECT_FALSE(IsShellError(Only(kQuestion), 7));
    EXPECT_EQ(OwnerOf(Only(kDemoBox), SetupAndDemo()), BoxOwner::Demonstration);
    EXPECT_EQ(OwnerOf(Only(kQuestion), SetupAndDemo()), BoxOwner::Setup);
}

TEST(TrialBoxes, EnterPressesTheDialogsDefaultThenTheStyledOneTheOnlyOneCancelTheFirst)
{
    TopWindow question = Only(kQuestion);
    EXPECT_EQ(AnswerId(question, kDefaultNo), 7);
    // Wine's boxes name IDOK when they have no such button: the next rule decides.
    EXPECT_EQ(AnswerId(question, kDefaultOk), 6);
    EXPECT_EQ(AnswerId(question, "not json"), 6);
    EXPECT_EQ(AnswerId(Only(kPresentation), ""), 1172); // styled BS_DEFPUSHBUTTON
    EXPECT_EQ(AnswerId(Only(kShellError), ""), 1);
    EXPECT_EQ(AnswerId(Only(kBare), kDefaultOk), -1);
    std::string withCancel =
        std::string(kQuestion) +
        R"({"hwnd": "0x604", "top": "0x600", "depth": 1, "class": "Button", "text": "Cancel", "id": 2})";
    EXPECT_EQ(AnswerId(Only(withCancel), ""), 2);
}

TEST(TrialBoxes, AnsweredOnceRecordedAndPressedAgainUntilGivenUp)
{
    FakeOperator op;
    op.defaultReply = kDefaultNo;
    RunRecord record;
    Boxes boxes;
    op.now = 10;
    ASSERT_TRUE(boxes.Answer(Listed(kQuestion), SetupAndDemo(), op, &record));
    ASSERT_EQ(record.boxes.size(), 1u);
    EXPECT_EQ(record.boxes[0].caption, "Harbour Atlas");
    EXPECT_EQ(record.boxes[0].text, "Replace ATLAS.DAT?");
    EXPECT_EQ(record.boxes[0].answer, "No");
    EXPECT_EQ(record.boxes[0].screenshot, "box.png");
    EXPECT_EQ(op.actions, (std::vector<std::string>{"shoot box", "press 0x600 7"}));
    EXPECT_TRUE(record.faults.empty());
    EXPECT_LT(boxes.ErrorAt(), 0);

    op.now = 12; // too soon to press again
    ASSERT_TRUE(boxes.Answer(Listed(kQuestion), SetupAndDemo(), op, &record));
    op.now = 13.5;
    ASSERT_TRUE(boxes.Answer(Listed(kQuestion), SetupAndDemo(), op, &record));
    EXPECT_EQ(op.actions.back(), "press 0x600 7");
    EXPECT_EQ(op.actions.size(), 3u);
    EXPECT_EQ(record.boxes.size(), 1u);
    op.now = 25.5;
    EXPECT_FALSE(boxes.Answer(Listed(kQuestion), SetupAndDemo(), op, &record));
    EXPECT_EQ(op.Told(),
              std::vector<std::string>{"the box \"Harbour Atlas\" did not go away when answered"});
}

TEST(TrialBoxes, ABoxWithoutButtonsGetsAMomentThenIsClosed)
{
    FakeOperator op;
    RunRecord record;
    Boxes boxes;
    op.now = 1;
    boxes.Answer(Listed(kBare), SetupAndDemo(), op, &record);
    EXPECT_TRUE(boxes.Seen());
    EXPECT_TRUE(op.actions.empty());
    op.now = 3.5;
    boxes.Answer(Listed(kBare), SetupAndDemo(), op, &record);
    EXPECT_EQ(op.actions.back(), "post 0x900 16");
    ASSERT_EQ(record.boxes.size(), 1u);
    EXPECT_EQ(record.boxes[0].answer, "");
}

TEST(TrialBoxes, TheShellsErrorEndsTheRunAndTheDemonstrationsBoxIsAFault)
{
    FakeOperator op;
    RunRecord record;
    Boxes boxes;
    op.now = 4;
    boxes.Answer(Listed(std::string(kShellError) + kDemoBox), SetupAndDemo(), op, &record);
    ASSERT_EQ(record.boxes.size(), 2u);
    EXPECT_TRUE(record.boxes[0].error);
    EXPECT_FALSE(record.boxes[1].error);
    EXPECT_EQ(boxes.ErrorAt(), 4);
    EXPECT_EQ(op.Told(), std::vector<std::string>{"setup.exe showed the error \"No more "
                                                  "copy-list place\" (KARVELO - Setup)"});
    ASSERT_EQ(record.faults.size(), 1u);
    EXPECT_EQ(record.faults[0],
              "the demonstration showed the box \"Harbour Atlas\": Chart missing");
}
