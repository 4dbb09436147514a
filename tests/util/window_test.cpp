#include "util/window.h"

#include <gtest/gtest.h>

namespace
{

// A plain popup window: its outer size is exactly what it was created with.
HWND MakePopup(int width, int height)
{
    return CreateWindowExA(0, "STATIC", "", WS_POPUP, 5, 7, width, height, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

POINT Position(HWND window)
{
    RECT r;
    GetWindowRect(window, &r);
    return POINT{r.left, r.top};
}

} // namespace

TEST(CenterWindow, CentresInGivenRectangle)
{
    HWND window = MakePopup(600, 420);
    ASSERT_NE(window, nullptr);
    // top, bottom, left, right: a 640 x 480 screen.
    EXPECT_EQ(CenterWindow(window, 0, 480, 0, 640), 1);
    POINT p = Position(window);
    EXPECT_EQ(p.x, 20);
    EXPECT_EQ(p.y, 30);
    DestroyWindow(window);
}

TEST(CenterWindow, ZeroRectangleMeansWholeScreen)
{
    HWND window = MakePopup(600, 420);
    EXPECT_EQ(CenterWindow(window, 0, 0, 0, 0), 1);
    POINT p = Position(window);
    EXPECT_EQ(p.x, (GetSystemMetrics(SM_CXSCREEN) - 600) / 2);
    EXPECT_EQ(p.y, (GetSystemMetrics(SM_CYSCREEN) - 420) / 2);
    DestroyWindow(window);
}

TEST(CenterWindow, HalvingTruncatesTowardZeroAndNegativeIsNotMoved)
{
    HWND window = MakePopup(600, 100);
    // One unit wider than the area: -1 / 2 truncates to 0, so it moves to x 0.
    EXPECT_EQ(CenterWindow(window, 0, 300, 0, 599), 1);
    EXPECT_EQ(Position(window).x, 0);
    EXPECT_EQ(Position(window).y, 100);

    SetWindowPos(window, nullptr, 5, 7, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    // Two units wider: -2 / 2 = -1, the window stays where it is.
    EXPECT_EQ(CenterWindow(window, 0, 300, 0, 598), 0);
    EXPECT_EQ(Position(window).x, 5);
    EXPECT_EQ(Position(window).y, 7);
    DestroyWindow(window);
}
