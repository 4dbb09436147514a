// Window placement.
#pragma once

#include <windows.h>

// Centres `window` in the rectangle given as top, bottom, left, right (in this
// order). A bottom of 0 means the screen's height and a right of 0 its width,
// so the all-zero rectangle is the whole screen. The window is not moved when
// the centred position would be negative in either direction.
// Returns 1 if the window was moved, 0 if not.
int CenterWindow(HWND window, int top, int bottom, int left, int right);
