// Names as setup compares them under a code page.
#include "common/codepage.h"

#include <gtest/gtest.h>

TEST(SameName, ComparesCharactersOfTheCodePageWithCaseIgnored)
{
    EXPECT_TRUE(SameName("README.TXT", "readme.txt", 1252));
    EXPECT_TRUE(SameName("\xC9T\xC9.TXT", "\xE9t\xE9.txt", 1252)); // ÉTÉ, été
    EXPECT_FALSE(SameName("\xC9T\xC9.TXT", "ETE.TXT", 1252));      // no look-alikes
    EXPECT_FALSE(SameName("A.TXT", "A.TXT ", 1252));
    // The same bytes are Cyrillic in 1251: Д and д one name, Д and Ф two.
    EXPECT_TRUE(SameName("\xC4.TXT", "\xE4.txt", 1251));
    EXPECT_FALSE(SameName("\xC4.TXT", "\xD4.TXT", 1251));
    EXPECT_EQ(FoldedName("\xE9t\xE9.txt", 1252), FoldedName("\xC9T\xC9.TXT", 1252));
}
