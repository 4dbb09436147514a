// The 55 ms tick of the main window and the single deferred post it counts down.
#pragma once

#include <windows.h>

constexpr UINT_PTR kTickTimerId = 1;
constexpr UINT kTickMilliseconds = 55;

// One message waiting to be posted after a number of ticks. The slot is free
// whenever ticksLeft is 0 or less.
struct DeferredPost {
    HWND target;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    int ticksLeft;
};

extern DeferredPost g_deferredPost;

// Arranges for `message` to be posted to `target` on the `ticks`-th tick from
// now. Returns 0 and changes nothing while another post is pending for a
// window that still exists (the new request is dropped); otherwise stores the
// request and returns 1. A request of 0 or fewer ticks is stored but never
// delivered.
int ScheduleDeferredPost(HWND target, int ticks, UINT message, WPARAM wParam, LPARAM lParam);

// Frees the slot when it holds a pending `message` for `target`; otherwise
// changes nothing.
void CancelDeferredPost(HWND target, UINT message);

// True while `message` for `target` waits in the slot: that message, arriving
// now, came from somebody else.
bool IsDeferredPostPending(HWND target, UINT message);

// One tick: counts the pending post down and posts it when it reaches 0.
void Tick();
