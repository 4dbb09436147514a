#include "shell/deferred.h"

DeferredPost g_deferredPost;

int ScheduleDeferredPost(HWND target, int ticks, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (g_deferredPost.ticksLeft > 0)
        return 0;
    g_deferredPost.target = target;
    g_deferredPost.message = message;
    g_deferredPost.wParam = wParam;
    g_deferredPost.lParam = lParam;
    g_deferredPost.ticksLeft = ticks;
    return 1;
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
