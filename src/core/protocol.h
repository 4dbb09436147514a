// The shell's private messages: what its own windows post and send to each
// other. What a module sends and receives is in setupmodule.h; the numbers
// below are reserved there.
#pragma once

#include <windows.h>

// ---------------------------------------------------------------------------
// Main window (SETUP_CLASS). wParam and lParam are 0 unless said otherwise.

// The begin step. Sent by the deferred post: 24 ticks after the main window
// is created, or 8 ticks after a successful sender reply that came before the
// begin step started. Runs once; the begin step frees a begin post still
// pending when it starts.
constexpr UINT SM_BEGINSETUP = WM_USER + 60; // 1084

// The finish step: EndSetup, the demonstration, the close. Sent by the
// deferred post 32 ticks after the shortcut dialog, or posted at once after a
// failed sender reply.
constexpr UINT SM_FINISHSETUP = WM_USER + 80; // 1104

// Closes the main window (posted by the finish step). The same number ends a
// status dialog: the deferred post delivers it to the dialog after 72 ticks.
constexpr UINT SM_CLOSE = WM_USER + 90; // 1114

// Sent by the copy window once it has started copying. Nothing in the shell
// acts on it; it is there for a window that watches the copy.
constexpr UINT SM_COPYSTARTED = WM_USER + 150; // 1174

// The end of the copy, from the copy window, once. lParam 0: the copy ended
// (posted; the window destroys itself right after), wParam 1 when every entry
// was handled and 0 when a copy failed. lParam 1: the module confirmed a
// cancel request (sent, from inside the copy window's handler).
constexpr UINT SM_COPYDONE = WM_USER + 245; // 1269

// ---------------------------------------------------------------------------
// Copy window (COPYINGWND), each from the copy window to itself unless said
// otherwise.

constexpr UINT CM_FINISH = WM_USER + 10;   // 1034: every entry handled
constexpr UINT CM_COPYNEXT = WM_USER + 20; // 1044: copy the next entry
// 1184: pacing check before the next step; posted by the window itself, or
// by the deferred post 4 ticks after a check that had to wait.
constexpr UINT CM_PACE = WM_USER + 160;
constexpr UINT CM_START = WM_USER + 600; // 1624: posted once on creation
// 1724: posted by the main window on a press in its cancel zone while the
// copy runs.
constexpr UINT CM_CANCELREQUEST = WM_USER + 700;

// ---------------------------------------------------------------------------
// Who holds the deferred post, and when. The slot takes one post at a time
// and drops a request while it holds one for a window that still exists, so
// these moments never overlap in a run:
//
//   holder                message          ticks  from .. to
//   main window creation  SM_BEGINSETUP    24     start-up .. the begin step
//   sender reply          SM_BEGINSETUP    8      a success reply before the begin step
//                                                 .. the begin step (a reply while the
//                                                 start-up post is pending is dropped)
//   status dialogs        SM_CLOSE         72     the dialog opens .. it closes
//   copy window           CM_PACE          4      a pacing check that has to wait
//                                                 .. the next check
//   copy result           SM_FINISHSETUP   32     after the shortcut dialog .. finish
//
// The begin step cancels a pending begin post, and the copy window's last
// post dies with the window, so each holder finds the slot free.
