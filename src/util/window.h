// Window placement.
#pragma once

#include <windows.h>

// Centres `window` in the rectangle given as top, bottom, left, right (in this
// order). A bottom of 0 means the screen's height and a right of 0 its width,
// so the all-zero rectangle is the whole screen. The window is not moved when
// the centred position would be negative in either direction.
// Returns 1 if the window was moved, 0 if not.
int CenterWindow(HWND window, int top, int bottom, int left, int right);

// Tells the user: a default beep, then a plain message box owned by `owner`
// (may be null) with a single OK button and no icon. Returns once it is closed.
void TellUser(HWND owner, const char *text, const char *caption);

// True while handling a message sent by another thread or process. The
// setup's own sends (hooks, the module's windows and timers, its own windows)
// all come from its one thread, where the call is direct.
bool SentFromElsewhere();

// The answer of the shell's own windows to WM_SYSCOMMAND: nothing is carried
// out, so they can be neither moved nor closed, and the screen saver is
// refused (1). The low four bits of wParam belong to the system.
LRESULT RefuseSystemCommand(WPARAM wParam);
