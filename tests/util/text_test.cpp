#include "util/text.h"

#include <gtest/gtest.h>
#include <string.h>

TEST(BoundedText, CopyFitsWithTerminator)
{
    char buf[4];
    EXPECT_EQ(CopyText(buf, "abc"), 3);
    EXPECT_STREQ(buf, "abc");
}

TEST(BoundedText, CopyThatDoesNotFitLeavesEmptyNotCut)
{
    char buf[4] = "xyz";
    EXPECT_EQ(CopyText(buf, "abcd"), -1);
    EXPECT_STREQ(buf, "");
}

TEST(BoundedText, AppendRefusesOverflowAndKeepsOldText)
{
    char buf[6] = "ab";
    EXPECT_EQ(AppendText(buf, "cde"), 5);
    EXPECT_STREQ(buf, "abcde");
    EXPECT_EQ(AppendText(buf, "f"), -1);
    EXPECT_STREQ(buf, "abcde");
}

TEST(BoundedText, LengthStopsAtFieldEnd)
{
    char field[8];
    memset(field, 'A', sizeof field);
    EXPECT_EQ(BoundedLength(field, sizeof field), -1);
    field[7] = 0;
    EXPECT_EQ(BoundedLength(field, sizeof field), 7);
}
