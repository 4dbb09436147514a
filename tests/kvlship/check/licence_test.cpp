// The agreement's text as setup reads it: complemented, never as written.
#include "check/licence.h"

#include <gtest/gtest.h>

TEST(LooksWritten, TellsTextAsWrittenFromTextStoredComplemented)
{
    std::string text = "You agree to everything.\r\n\tYes.\r\n";
    std::string complemented;
    for (char c : text)
        complemented += static_cast<char>(~c);
    EXPECT_TRUE(LooksWritten(text));
    EXPECT_FALSE(LooksWritten(complemented));
    EXPECT_FALSE(LooksWritten(""));
    // A few letters beyond ASCII do not make it complemented.
    EXPECT_TRUE(LooksWritten("Caf\xE9 terms for everyone, in full"));
}
