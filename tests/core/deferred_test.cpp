#include "core/deferred.h"

#include <gtest/gtest.h>

namespace
{

// A message-only window that receives the deferred posts.
class DeferredPostTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        g_deferredPost = DeferredPost{};
        window_ = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override { DestroyWindow(window_); }

    // The deferred message waiting in the queue, if any: its wParam, or -1.
    int Delivered(UINT message)
    {
        MSG msg;
        if (PeekMessageA(&msg, window_, message, message, PM_REMOVE))
            return static_cast<int>(msg.wParam);
        return -1;
    }

    HWND window_ = nullptr;
};

constexpr UINT kMessage = WM_USER + 60;

} // namespace

TEST_F(DeferredPostTest, DeliveredOnTheNthTick)
{
    ASSERT_EQ(ScheduleDeferredPost(window_, 3, kMessage, 7, 9), 1);
    Tick();
    Tick();
    EXPECT_EQ(Delivered(kMessage), -1);
    Tick();
    EXPECT_EQ(Delivered(kMessage), 7);
    EXPECT_EQ(g_deferredPost.target, nullptr);
    Tick(); // nothing left to deliver
    EXPECT_EQ(Delivered(kMessage), -1);
}

TEST_F(DeferredPostTest, OneTickDeliversAtTheNextTick)
{
    ASSERT_EQ(ScheduleDeferredPost(window_, 1, kMessage, 1, 0), 1);
    Tick();
    EXPECT_EQ(Delivered(kMessage), 1);
}

TEST_F(DeferredPostTest, RequestWhilePendingIsDropped)
{
    ASSERT_EQ(ScheduleDeferredPost(window_, 2, kMessage, 1, 0), 1);
    EXPECT_EQ(ScheduleDeferredPost(window_, 1, kMessage, 2, 0), 0);
    Tick();
    EXPECT_EQ(Delivered(kMessage), -1);
    // With one tick left the slot is still busy.
    EXPECT_EQ(ScheduleDeferredPost(window_, 1, kMessage, 4, 0), 0);
    EXPECT_TRUE(IsDeferredPostPending(window_, kMessage));
    Tick();
    EXPECT_EQ(Delivered(kMessage), 1); // the first request, at its own time
    // Once delivered, the slot takes a new request.
    EXPECT_EQ(ScheduleDeferredPost(window_, 1, kMessage, 3, 0), 1);
    Tick();
    EXPECT_EQ(Delivered(kMessage), 3);
}

TEST_F(DeferredPostTest, ZeroOrNegativeTicksNeverDeliverAndLeaveSlotFree)
{
    EXPECT_EQ(ScheduleDeferredPost(window_, 0, kMessage, 1, 0), 1);
    for (int i = 0; i < 5; ++i)
        Tick();
    EXPECT_EQ(Delivered(kMessage), -1);
    EXPECT_EQ(ScheduleDeferredPost(window_, -4, kMessage, 2, 0), 1);
    Tick();
    EXPECT_EQ(Delivered(kMessage), -1);
    EXPECT_EQ(ScheduleDeferredPost(window_, 1, kMessage, 3, 0), 1);
    Tick();
    EXPECT_EQ(Delivered(kMessage), 3);
}

TEST_F(DeferredPostTest, PostedNotSent)
{
    // Delivery goes through the queue: nothing reaches the window procedure
    // during the tick itself.
    ASSERT_EQ(ScheduleDeferredPost(window_, 1, kMessage, 5, 0), 1);
    Tick();
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, window_, kMessage, kMessage, PM_NOREMOVE));
    EXPECT_EQ(msg.lParam, 0);
    EXPECT_EQ(Delivered(kMessage), 5);
}

TEST_F(DeferredPostTest, PostForAWindowThatIsGoneHoldsNothing)
{
    // A status dialog ended early leaves its post behind; the copy's own
    // pacing post must still be taken.
    HWND gone = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    ASSERT_EQ(ScheduleDeferredPost(gone, 72, kMessage, 1, 0), 1);
    DestroyWindow(gone);
    EXPECT_EQ(ScheduleDeferredPost(window_, 1, kMessage, 2, 0), 1);
    Tick();
    EXPECT_EQ(Delivered(kMessage), 2);

    // A cancel frees only the post it names.
    ASSERT_EQ(ScheduleDeferredPost(window_, 2, kMessage, 3, 0), 1);
    CancelDeferredPost(window_, kMessage + 1);
    EXPECT_EQ(ScheduleDeferredPost(window_, 1, kMessage, 4, 0), 0);
    CancelDeferredPost(window_, kMessage);
    EXPECT_EQ(ScheduleDeferredPost(window_, 1, kMessage, 5, 0), 1);
    Tick();
    EXPECT_EQ(Delivered(kMessage), 5);
}
