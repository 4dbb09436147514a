// The copy progress window (class COPYINGWND): copies the copy list one entry
// per step, at least 100 ms apart, under a vertical thermometer, and reports
// the end of the copy to the main window with SM_COPYDONE. A distribution
// that asks for the fast pace (cbFastCopy) has each step copy for up to
// kFastStepMilliseconds, a large file in pieces across steps, and the bar
// show the share of bytes.
#pragma once

#include <windows.h>

#include "copy/copyfile.h"
#include "copy/copylist.h"

constexpr char kCopyClass[] = "COPYINGWND";

// Where the main window puts the copy window, in its client coordinates.
constexpr int kCopyWindowX = 460;
constexpr int kCopyWindowY = 125;
constexpr int kCopyWindowWidth = 88;
constexpr int kCopyWindowHeight = 162;

// The bar of the thermometer, in the copy window's client coordinates.
constexpr int kBarLeft = 17;
constexpr int kBarTop = 17;
constexpr int kBarRight = 32;
constexpr int kBarBottom = 125;

// Ticks between two pacing checks while a step has to wait.
constexpr int kPaceTicks = 4;

// The fast pace: how long one step copies before the window answers again.
constexpr DWORD kFastStepMilliseconds = 50;

// The state of the one copy window; meaningful while it exists.
struct CopyProgress {
    int started;       // CM_START has run: a second one would copy everything again
    int handled;       // entries handled so far
    int percent;       // fill of the bar, 0 to 100
    DWORD stamp;       // GetTickCount() at the start or at the last dispatched step
    int cancelPending; // a cancel request is being answered, or the user cancelled
    UINT awaiting;     // the step message this window posted itself last: a step
                       // message that is not the awaited one came from elsewhere
    // The module may add entries while the copy runs, into any free slot,
    // also one the copy has passed: each step takes the lowest slot in use
    // that is not marked handled (CopyEntry::handled), so every entry is
    // copied exactly once. No slot below `scanFrom` awaits its copy.
    int scanFrom;
    int fast; // the fast pace: many entries a step, the share of bytes
    // The fast pace's file under way, copied in pieces across steps.
    int copying; // a file is under way in `file`, for slot `copySlot`
    int copySlot;
    int existed; // its destination existed before the copy
    FileCopy file;
    unsigned long long bytesDone; // kept sizes of the entries handled
    unsigned long long bytesLeft; // kept sizes of the entries awaiting their copy
    RECT bar;
};

extern CopyProgress g_copyProgress;

// Whole tenths of a second from `stamp` to `now`, kept to 16 bits. The
// difference is taken unsigned, so it stays right across the wrap of the
// tick count. 0 means the next step has to wait.
unsigned PacingTenths(DWORD now, DWORD stamp);

// The bar's fill after `handled` of `total` entries (total > 0), 0 to 100.
// The total is what is handled plus what is left now: it grows when the
// module adds entries during the copy.
int CopyPercent(int handled, int total);

// The bar's next fill: CopyPercent, but never below `shown`. Entries added
// during the copy hold the bar until the copy catches up with it.
int NextPercent(int shown, int handled, int total);

// The bar's fill after `done` of `total` bytes, 0 to 100; computed without
// overflow for any size a disk holds. 0 for a total of 0.
int BytePercent(unsigned long long done, unsigned long long total);

// Height in pixels of the filled part of the bar for `percent`.
int BarFill(int percent);

// Creates the copy window as a disabled child of the main window, shows it
// without activating it and returns its handle (null on failure). It starts
// copying by itself; the caller stores the handle and marks the copy as
// running. The class must have been registered by the main window.
HWND CreateCopyWindow();

// Registers the class COPYINGWND under the shell's instance (the main window
// does this when it is created). The result is not needed: a class that is
// already registered stays as it is.
void RegisterCopyClass();

extern "C" __declspec(dllexport) LRESULT CALLBACK
    CopyingDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
