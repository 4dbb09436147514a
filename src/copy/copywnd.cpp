#include "copy/copywnd.h"

#include "copy/conflicts.h"
#include "copy/copyfile.h"
#include "copy/copylist.h"
#include "copy/installed.h"
#include "copy/replace.h"
#include "core/context.h"
#include "core/deferred.h"
#include "core/hooks.h"
#include "core/log.h"
#include "core/protocol.h"
#include "setupmodule.h"
#include "util/files.h"
#include "util/text.h"
#include "util/window.h"

#include <string.h>

CopyProgress g_copyProgress;

namespace
{

const COLORREF kDarkBlue = RGB(0, 0, 127);
const COLORREF kGrey = RGB(127, 127, 127);

struct Label {
    const char *text;
    int x, y, width, height;
};

// The fixed texts beside and under the bar; they never change.
const Label kLabels[] = {
    {"Copying Files...", 3, 137, 80, 16},
    {"100 %", 42, 11, 30, 18},
    {"0 %", 42, 118, 30, 18},
};

// The label's place: its layout, widened and heightened about the same
// centre to hold its text on one line in `dc`'s font (a centred static wraps
// a text wider than itself), and kept inside the window's `clientWidth`
// when it fits there.
RECT LabelPlace(HDC dc, const Label &label, int clientWidth)
{
    SIZE extent = {};
    GetTextExtentPoint32A(dc, label.text, static_cast<int>(strlen(label.text)), &extent);
    int width = extent.cx > label.width ? static_cast<int>(extent.cx) : label.width;
    int height = extent.cy > label.height ? static_cast<int>(extent.cy) : label.height;
    int left = label.x + label.width / 2 - width / 2;
    int top = label.y + label.height / 2 - height / 2;
    if (left + width > clientWidth)
        left = clientWidth - width;
    if (left < 0)
        left = 0;
    RECT place = {left, top, left + width, top + height};
    return place;
}

void CreateLabels(HWND window)
{
    HGDIOBJ font = GetStockObject(ANSI_VAR_FONT);
    RECT client;
    GetClientRect(window, &client);
    HDC dc = GetDC(window);
    HGDIOBJ oldFont = SelectObject(dc, font);
    for (const Label &label : kLabels) {
        RECT place = LabelPlace(dc, label, client.right);
        HWND child = CreateWindowExA(0, "STATIC", label.text, WS_CHILD | SS_CENTER, place.left,
                                     place.top, place.right - place.left, place.bottom - place.top,
                                     window, nullptr, g_setup.instance, nullptr);
        SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
        ShowWindow(child, SW_SHOW);
    }
    SelectObject(dc, oldFont);
    ReleaseDC(window, dc);
}

// Repaints the bar alone, at once: nothing else of the window changes.
void UpdateBar(HWND window)
{
    InvalidateRect(window, &g_copyProgress.bar, FALSE);
    UpdateWindow(window);
}

void OnCreate(HWND window)
{
    SendMessageA(g_setup.mainWindow, SM_REPAINT, 0, 0);
    g_copyProgress.started = 0;
    g_copyProgress.cancelPending = 0;
    g_copyProgress.awaiting = CM_START;
    CreateLabels(window);
    SetRect(&g_copyProgress.bar, kBarLeft, kBarTop, kBarRight, kBarBottom);
    PostMessageA(window, CM_START, 0, 0);
}

bool AwaitsCopy(int slot)
{
    return g_copyList.slots[slot].inUse && !g_copyProgress.handledSlots[slot];
}

// The lowest slot in use that this copy has not handled, or -1.
int NextSlotToCopy()
{
    for (int slot = 0; slot < kCopySlots; ++slot) {
        if (AwaitsCopy(slot))
            return slot;
    }
    return -1;
}

int EntriesLeft()
{
    int left = 0;
    for (int slot = 0; slot < kCopySlots; ++slot)
        left += AwaitsCopy(slot) ? 1 : 0;
    return left;
}

// The copy is one chain of steps, each posted by the one before; a step that
// another program posts is not the awaited one and is ignored, so nobody but
// this window can finish, hurry or repeat the copy.
void PostStep(HWND window, UINT step)
{
    g_copyProgress.awaiting = step;
    PostMessageA(window, step, 0, 0);
}

void WaitForPace(HWND window)
{
    g_copyProgress.awaiting = CM_PACE;
    ScheduleDeferredPost(window, kPaceTicks, CM_PACE, 0, 0);
}

// True, and the step taken, when `step` is the one this window awaits.
bool TakeStep(UINT step)
{
    if (!g_copyProgress.started || g_copyProgress.awaiting != step)
        return false;
    g_copyProgress.awaiting = 0;
    return true;
}

void OnStart(HWND window)
{
    // Only this window starts its copy, once; another CM_START from outside
    // would copy everything a second time.
    if (g_copyProgress.started)
        return;
    g_copyProgress.started = 1;
    g_setup.criticalCopyError = 0;
    g_setup.failedError = 0;
    g_copyProgress.percent = 0;
    g_copyProgress.handled = 0;
    memset(g_copyProgress.handledSlots, 0, sizeof g_copyProgress.handledSlots);
    g_copyProgress.stamp = GetTickCount();
    EnableWindow(window, FALSE);
    UpdateBar(window);
    SendMessageA(g_setup.mainWindow, SM_COPYSTARTED, 0, 0);
    PostStep(window, CM_PACE);
}

// Dispatches the next step once 100 ms have passed since the last one and
// no cancel request is open; otherwise looks again 4 ticks later.
void OnPace(HWND window)
{
    if (!TakeStep(CM_PACE))
        return;
    // The pace lets a person follow the bar, which /SILENT still shows; with
    // no window at all nobody follows it.
    bool paced = !(g_setup.mode & SETUP_MODE_VERYSILENT);
    bool early = paced && PacingTenths(GetTickCount(), g_copyProgress.stamp) == 0;
    if (early || g_copyProgress.cancelPending) {
        WaitForPace(window);
        return;
    }
    g_copyProgress.stamp = GetTickCount();
    PostStep(window, NextSlotToCopy() >= 0 ? CM_COPYNEXT : CM_FINISH);
}

// A file could not be copied: the copy stops here and the sequence decides.
void StopAtFailedCopy(HWND window, const CopyEntry *entry, const CopyPaths &paths)
{
    g_setup.failedError = GetLastError();
    char reason[kPathSize];
    SystemReason(g_setup.failedError, reason, sizeof reason);
    LogLine("file %.259s: failed, %.259s", paths.dest[0] ? paths.dest : entry->destName, reason);
    NoteFile(INSTALLED_FAILED, paths.dest[0] ? paths.dest : entry->destName);
    // A destination path too long to build still names the file by its name.
    CopyText(g_setup.failedPath, paths.dest[0] ? paths.dest : entry->destName);
    g_setup.criticalCopyError = 1;
    PostMessageA(g_setup.mainWindow, SM_COPYDONE, 0, 0);
    DestroyWindow(window);
}

void OnCopyNext(HWND window)
{
    if (!TakeStep(CM_COPYNEXT))
        return;
    // A cancel question opened after this step was posted: copying holds
    // until it is answered.
    if (g_copyProgress.cancelPending) {
        WaitForPace(window);
        return;
    }
    int slot = NextSlotToCopy();
    if (slot < 0) {
        PostStep(window, CM_FINISH);
        return;
    }
    const CopyEntry *entry = &g_copyList.slots[slot];
    CopyPaths paths;
    if (!BuildCopyPaths(entry, &paths)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        StopAtFailedCopy(window, entry, paths);
        return;
    }
    // An existing destination is replaced only when the entry says so.
    int existed = FileExists(paths.dest);
    int wanted = !existed || entry->overwrite;
    int copied = wanted ? CopyOneFile(paths.source, paths.dest) : 1;
    if (!copied) {
        StopAtFailedCopy(window, entry, paths);
        return;
    }
    if (copied == PLACE_AT_RESTART) {
        // In use: the new file waits beside it for the restart.
        const char *source = RestartSource(RestartCount() - 1);
        LogLine("file %.259s: in use, replaced at the next restart by %.259s", paths.dest, source);
        NoteFile(INSTALLED_AT_RESTART, paths.dest, source);
        NoteFile(INSTALLED_RESTART_SOURCE, source);
    } else {
        LogLine("file %.259s: %s", paths.dest,
                !wanted   ? "kept, the existing file stays"
                : existed ? "replaced"
                          : "installed new");
        NoteFile(!wanted   ? INSTALLED_KEPT
                 : existed ? INSTALLED_REPLACED
                           : INSTALLED_NEW,
                 paths.dest);
    }
    g_copyProgress.handledSlots[slot] = 1;
    ++g_copyProgress.handled;
    g_copyProgress.percent = NextPercent(g_copyProgress.percent, g_copyProgress.handled,
                                         g_copyProgress.handled + EntriesLeft());
    UpdateBar(window);
    PostStep(window, CM_PACE);
}

void OnFinish(HWND window)
{
    // Only the end this window reached itself: entries added since the
    // step that saw none are copied first.
    if (!TakeStep(CM_FINISH))
        return;
    if (NextSlotToCopy() >= 0) {
        PostStep(window, CM_PACE);
        return;
    }
    g_copyProgress.percent = 100;
    UpdateBar(window);
    PostMessageA(g_setup.mainWindow, SM_COPYDONE, 1, 0);
    DestroyWindow(window);
}

void OnCancelRequest()
{
    // One question at a time: a second press while the module is still
    // asking the user (or after the user cancelled) changes nothing.
    if (g_copyProgress.cancelPending)
        return;
    g_copyProgress.cancelPending = 1;
    if (CallHook("UserCancel", 1)) {
        g_copyProgress.cancelPending = 0;
        return;
    }
    // The main window ends the setup inside this call and destroys this
    // window with it: nothing here may touch a window afterwards.
    SendMessageA(g_setup.mainWindow, SM_COPYDONE, 0, 1);
}

void DrawLine(HDC dc, int fromX, int fromY, int toX, int toY)
{
    MoveToEx(dc, fromX, fromY, nullptr);
    LineTo(dc, toX, toY);
}

// A sunken frame one pixel outside the bar: grey above and left, white below
// and right.
void PaintFrame(HDC dc, HPEN grey, const RECT &bar)
{
    SelectObject(dc, grey);
    DrawLine(dc, bar.left - 1, bar.top - 1, bar.right + 1, bar.top - 1);
    DrawLine(dc, bar.left - 1, bar.top - 1, bar.left - 1, bar.bottom + 1);
    SelectObject(dc, GetStockObject(WHITE_PEN));
    DrawLine(dc, bar.right + 1, bar.top - 1, bar.right + 1, bar.bottom + 1);
    DrawLine(dc, bar.left - 1, bar.bottom + 1, bar.right + 1, bar.bottom + 1);
}

// Five etched marks right of the bar, between the two labels.
void PaintMarks(HDC dc, HPEN grey, const RECT &bar)
{
    int mid = bar.top + (bar.bottom - bar.top) / 2;
    int step = (bar.bottom - bar.top) / 6;
    const int rows[] = {mid, mid + step, mid - step, mid + 2 * step, mid - 2 * step};
    SelectObject(dc, grey);
    for (int y : rows)
        DrawLine(dc, bar.right + 18, y, bar.right + 30, y);
    SelectObject(dc, GetStockObject(WHITE_PEN));
    for (int y : rows)
        DrawLine(dc, bar.right + 18, y + 1, bar.right + 30, y + 1);
}

// White above, dark blue from the bottom up to the fill.
void PaintFill(HDC dc, HPEN bluePen, HBRUSH blueBrush, const RECT &bar)
{
    int fill = BarFill(g_copyProgress.percent);
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    SelectObject(dc, GetStockObject(WHITE_PEN));
    Rectangle(dc, bar.left, bar.top, bar.right, bar.bottom - fill);
    SelectObject(dc, blueBrush);
    SelectObject(dc, bluePen);
    Rectangle(dc, bar.left, bar.bottom - fill, bar.right, bar.bottom);
}

void OnPaint(HWND window)
{
    HPEN bluePen = CreatePen(PS_SOLID, 1, kDarkBlue);
    HBRUSH blueBrush = CreateSolidBrush(kDarkBlue);
    HPEN greyPen = CreatePen(PS_SOLID, 1, kGrey);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    const RECT &bar = g_copyProgress.bar;
    PaintFrame(dc, greyPen, bar);
    PaintMarks(dc, greyPen, bar);
    PaintFill(dc, bluePen, blueBrush, bar);
    // Our pen and brush must be out of the device context before they go.
    SelectObject(dc, GetStockObject(LTGRAY_BRUSH));
    SelectObject(dc, GetStockObject(NULL_PEN));
    EndPaint(window, &paint);
    DeleteObject(bluePen);
    DeleteObject(blueBrush);
    DeleteObject(greyPen);
}

} // namespace

unsigned PacingTenths(DWORD now, DWORD stamp)
{
    return ((now - stamp) / 100) & 0xFFFF;
}

int CopyPercent(int handled, int total)
{
    return handled * 100 / total;
}

int NextPercent(int shown, int handled, int total)
{
    int percent = CopyPercent(handled, total);
    return percent > shown ? percent : shown;
}

int BarFill(int percent)
{
    return (kBarBottom - kBarTop) * percent / 100;
}

void RegisterCopyClass()
{
    WNDCLASSA copyClass = {};
    copyClass.lpfnWndProc = CopyingDlgProc;
    copyClass.hInstance = g_setup.instance;
    copyClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    copyClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
    copyClass.lpszClassName = kCopyClass;
    RegisterClassA(&copyClass);
}

HWND CreateCopyWindow()
{
    HWND window = CreateWindowExA(WS_EX_DLGMODALFRAME, kCopyClass, "", WS_CHILD | WS_DISABLED,
                                  kCopyWindowX, kCopyWindowY, kCopyWindowWidth, kCopyWindowHeight,
                                  g_setup.mainWindow, nullptr, g_setup.instance, nullptr);
    if (window)
        ShowWindow(window, SW_SHOWNOACTIVATE);
    return window;
}

LRESULT CALLBACK CopyingDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // The copy's steps are its own posts; no other thread sends them.
    if (message >= CM_FINISH && message <= CM_CANCELREQUEST && SentFromElsewhere())
        return 0;
    switch (message) {
    case WM_CREATE:
        OnCreate(window);
        return 0;
    case CM_START:
        OnStart(window);
        return 0;
    case CM_PACE:
        OnPace(window);
        return 0;
    case CM_COPYNEXT:
        OnCopyNext(window);
        return 0;
    case CM_FINISH:
        OnFinish(window);
        return 0;
    case CM_CANCELREQUEST:
        OnCancelRequest();
        return 0;
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case WM_SYSCOMMAND:
        return RefuseSystemCommand(wParam);
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
