// The copy list's "list is full", counted for the reading that is adding.
#include "check/listfull.h"

#include "copy/listfull.h"

#include <gtest/gtest.h>

TEST(ListFullCount, CountsOnlyWhileItLivesAndOnlyInTheNewest)
{
    TellListFull("No more copy-list place", "Setup"); // no reading: counted nowhere
    ListFullCount outer;
    TellListFull("No more copy-list place", "Setup");
    {
        ListFullCount inner;
        TellListFull("No more copy-list place", "Setup");
        TellListFull("No more copy-list place", "Setup");
        EXPECT_EQ(inner.Told(), 2);
    }
    TellListFull("No more copy-list place", "Setup");
    EXPECT_EQ(outer.Told(), 2);
    ListFullCount next;
    EXPECT_EQ(next.Told(), 0);
}
