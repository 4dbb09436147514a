// Why setup skips a [FILELIST] line, in the author's terms.
#include "check/filelist.h"
#include "copy/filelist.h"

#include <gtest/gtest.h>

TEST(RejectReason, NamesWhatSetupRefusesInALine)
{
    struct {
        const char *line;
        const char *reason;
    } cases[] = {
        {"A.EX_, E, , 0, 0, 1", "has 5 of the six commas between its seven fields; setup skips it"},
        {"A.EX_", "has 0 of the six commas between its seven fields; setup skips it"},
        {"A.EX_, E, Docs, 0, 0, 1, 0", "does not end with ';'; setup skips it"},
        {"A.EX_, E, ..\\Up, 0, 0, 1, 0;",
         "its sub-folder \"..\\Up\" would leave the destination; setup skips it"},
        {"A.EX_, :, Docs, 0, 0, 1, 0;",
         "its replacement character ':' cannot end a file name; setup skips it"},
    };
    for (const auto &c : cases) {
        FileListLine parsed;
        EXPECT_EQ(ParseFileListLine(c.line, &parsed), 0) << c.line;
        EXPECT_EQ(RejectReason(c.line), c.reason) << c.line;
    }
}
