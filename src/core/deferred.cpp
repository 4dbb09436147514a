#include "core/deferred.h"

DeferredPost g_deferredPost;

int ScheduleDeferredPost(HWND target, int ticks, UINT message, WPARAM wParam, LPARAM lParam)
{
    // A post for a window that is gone can never be of use: it must not keep
    // the slot from a window that still waits for its own post (a status
    // dialog closed early would otherwise leave the copy without its pacing).
    if (g_deferredPost.ticksLeft > 0 && IsWindow(g_deferredPost.target))
        return 0;
    g_deferredPost.target = target;
    g_deferredPost.message = message;
    g_deferredPost.wParam = wParam;
    g_deferredPost.lParam = lParam;
    g_deferredPost.ticksLeft = ticks;
    return 1;
}

void CancelDeferredPost(HWND target, UINT message)
{
    if (g_deferredPost.ticksLeft > 0 && g_deferredPost.target == target &&
        g_deferredPost.message == message) {
        g_deferredPost.ticksLeft = 0;
        g_deferredPost.target = nullptr;
    }
}

bool IsDeferredPostPending(HWND target, UINT message)
{
    return g_deferredPost.ticksLeft > 0 && g_deferredPost.target == target &&
           g_deferredPost.message == message;
}

void Tick()
{
    if (g_deferredPost.ticksLeft <= 0)
        return;
    if (--g_deferredPost.ticksLeft == 0) {
        PostMessageA(g_deferredPost.target, g_deferredPost.message, g_deferredPost.wParam,
                     g_deferredPost.lParam);
        g_deferredPost.target = nullptr;
    }
}
