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
// The fast pace's wait for input and repaints to be handled first.
constexpr UINT_PTR kYieldTimerId = 7;
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
    return g_copyList.slots[slot].inUse && !g_copyList.slots[slot].handled;
}

// Entries the module added since the last look may lie behind the copy:
// the scan goes back to them, and their sizes join what is left.
void TakeAddedEntries()
{
    int lowest = TakeLowestAdded();
    if (lowest < 0)
        return;
    if (lowest < g_copyProgress.scanFrom)
        g_copyProgress.scanFrom = lowest;
    unsigned long long left = 0;
    for (int slot = g_copyProgress.scanFrom; slot < CopySlotEnd(); ++slot) {
        if (AwaitsCopy(slot) && !(g_copyProgress.copying && slot == g_copyProgress.copySlot))
            left += static_cast<unsigned long long>(
                g_copyList.slots[slot].size > 0 ? g_copyList.slots[slot].size : 0);
    }
    g_copyProgress.bytesLeft = left;
}

// The lowest slot in use that this copy has not handled, or -1.
int NextSlotToCopy()
{
    TakeAddedEntries();
    for (int slot = g_copyProgress.scanFrom; slot < CopySlotEnd(); ++slot) {
        if (AwaitsCopy(slot)) {
            g_copyProgress.scanFrom = slot;
            return slot;
        }
    }
    g_copyProgress.scanFrom = CopySlotEnd();
    return -1;
}

int EntriesLeft()
{
    int left = 0;
    for (int slot = g_copyProgress.scanFrom; slot < CopySlotEnd(); ++slot)
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
    for (int slot = 0; slot < CopySlotEnd(); ++slot)
        g_copyList.slots[slot].handled = 0;
    g_copyProgress.scanFrom = 0;
    g_copyProgress.fast = g_setup.fastCopy;
    g_copyProgress.copying = 0;
    g_copyProgress.bytesDone = 0;
    g_copyProgress.bytesLeft = 0;
    g_copyList.lowestAdded = 0; // every entry is new to this copy
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
    bool paced = !(g_setup.mode & SETUP_MODE_VERYSILENT) && !g_copyProgress.fast;
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

// The last part of a path: its name.
const char *NameOfPath(const char *path)
{
    const char *name = path;
    for (const char *p = path; *p; ++p) {
        if (*p == '\\' || *p == '/' || *p == ':')
            name = p + 1;
    }
    return name;
}

// True when an entry after `slot` names the same source (letters compared
// without regard to case): moving it away would leave that one nothing.
bool SourceNamedAgain(int slot, const char *source)
{
    const char *name = NameOfPath(source);
    for (int other = slot + 1; other < CopySlotEnd(); ++other) {
        const CopyEntry *entry = &g_copyList.slots[other];
        if (!entry->inUse || entry->handled || lstrcmpiA(NameOfPath(entry->sourceName), name) != 0)
            continue;
        CopyPaths paths;
        if (!BuildCopyPaths(entry, &paths) || lstrcmpiA(paths.source, source) == 0)
            return true;
    }
    return false;
}

// The file is in place (or kept): the log, the record of what was done, the
// entry's mark and the bar's sums.
void EntryDone(int slot, const CopyPaths &paths, int wanted, int existed, int moved, int placed)
{
    const CopyEntry *entry = &g_copyList.slots[slot];
    if (placed == PLACE_AT_RESTART) {
        // In use: the new file waits beside it for the restart.
        const char *source = RestartSource(RestartCount() - 1);
        LogLine("file %.259s: in use, replaced at the next restart by %.259s", paths.dest, source);
        NoteFile(INSTALLED_AT_RESTART, paths.dest, source);
        NoteFile(INSTALLED_RESTART_SOURCE, source);
    } else {
        LogLine("file %.259s: %s%s", paths.dest,
                !wanted   ? "kept, the existing file stays"
                : existed ? "replaced"
                          : "installed new",
                moved ? " (moved from the package's folder)" : "");
        NoteFile(!wanted   ? INSTALLED_KEPT
                 : existed ? INSTALLED_REPLACED
                           : INSTALLED_NEW,
                 paths.dest);
    }
    g_copyList.slots[slot].handled = 1;
    ++g_copyProgress.handled;
    unsigned long long size = entry->size > 0 ? static_cast<unsigned long long>(entry->size) : 0;
    g_copyProgress.bytesDone += size;
    g_copyProgress.bytesLeft -= size < g_copyProgress.bytesLeft ? size : g_copyProgress.bytesLeft;
}

// Starts the entry at `slot`: an existing destination is replaced only when
// the entry says so. Returns 1 when a file is under way, 0 when the entry is
// done already (kept), -1 when it failed (the copy has stopped).
int StartEntry(HWND window, int slot, CopyPaths *paths)
{
    const CopyEntry *entry = &g_copyList.slots[slot];
    if (!BuildCopyPaths(entry, paths)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        StopAtFailedCopy(window, entry, *paths);
        return -1;
    }
    int existed = FileExists(paths->dest);
    if (existed && !entry->overwrite) {
        EntryDone(slot, *paths, 0, existed, 0, PLACE_DONE);
        return 0;
    }
    int mayMove = g_setup.disposableSource && !SourceNamedAgain(slot, paths->source);
    if (!BeginFileCopy(&g_copyProgress.file, paths->source, paths->dest, mayMove)) {
        StopAtFailedCopy(window, entry, *paths);
        return -1;
    }
    g_copyProgress.copying = 1;
    g_copyProgress.copySlot = slot;
    g_copyProgress.existed = existed;
    return 1;
}

// Copies on the file under way for at most `budget` ms. Returns 1 when it
// is in place, 0 when there is more, -1 when it failed (the copy has stopped).
int CarryOnEntry(HWND window, DWORD budget)
{
    FileCopy *file = &g_copyProgress.file;
    int slot = g_copyProgress.copySlot;
    const CopyEntry *entry = &g_copyList.slots[slot];
    CopyPaths paths;
    BuildCopyPaths(entry, &paths);
    int result = ContinueFileCopy(file, budget);
    if (result == 0)
        return 0;
    g_copyProgress.copying = 0;
    int placed = result < 0 ? PLACE_FAILED : FinishFileCopy(file);
    if (placed == PLACE_FAILED) {
        StopAtFailedCopy(window, entry, paths);
        return -1;
    }
    EntryDone(slot, paths, 1, g_copyProgress.existed, file->moved, placed);
    return 1;
}

// The bar after a step: the share of entries, or with the fast pace the
// share of bytes (of entries when none has a size), never going back.
void ShowProgress(HWND window)
{
    int percent;
    unsigned long long total = g_copyProgress.bytesDone + g_copyProgress.bytesLeft;
    if (g_copyProgress.fast && total > 0) {
        unsigned long long done = g_copyProgress.bytesDone;
        if (g_copyProgress.copying && g_copyProgress.file.total > 0) {
            // The part of the file under way, in its entry's kept size.
            const CopyEntry *entry = &g_copyList.slots[g_copyProgress.copySlot];
            unsigned long long size = entry->size > 0 ? entry->size : 0;
            unsigned long long part =
                BytePercent(g_copyProgress.file.done, g_copyProgress.file.total);
            done += size / 100 * part;
        }
        percent = BytePercent(done, total);
        if (percent > g_copyProgress.percent)
            g_copyProgress.percent = percent;
    } else {
        g_copyProgress.percent = NextPercent(g_copyProgress.percent, g_copyProgress.handled,
                                             g_copyProgress.handled + EntriesLeft());
    }
    UpdateBar(window);
}

// The paced step: one entry, whatever its size.
void CopyOneEntry(HWND window)
{
    int slot = NextSlotToCopy();
    if (slot < 0) {
        PostStep(window, CM_FINISH);
        return;
    }
    CopyPaths paths;
    int started = StartEntry(window, slot, &paths);
    if (started < 0 || (started > 0 && CarryOnEntry(window, INFINITE) < 0))
        return;
    ShowProgress(window);
    PostStep(window, CM_PACE);
}

// Posts the next step; when input or a repaint waits, only once they have
// been handled (a timer's message comes after them), so that a long copy
// never keeps the window from answering.
void NextFastStep(HWND window)
{
    if (HIWORD(GetQueueStatus(QS_INPUT | QS_PAINT | QS_TIMER | QS_HOTKEY)) == 0) {
        PostStep(window, CM_PACE);
        return;
    }
    g_copyProgress.awaiting = WM_TIMER;
    SetTimer(window, kYieldTimerId, USER_TIMER_MINIMUM, nullptr);
}

// The fast step: entries, and pieces of a large one, for up to
// kFastStepMilliseconds.
void CopyForAWhile(HWND window)
{
    DWORD start = GetTickCount();
    for (;;) {
        DWORD spent = GetTickCount() - start;
        if (spent >= kFastStepMilliseconds)
            break;
        if (!g_copyProgress.copying) {
            int slot = NextSlotToCopy();
            if (slot < 0) {
                ShowProgress(window);
                PostStep(window, CM_FINISH);
                return;
            }
            CopyPaths paths;
            int started = StartEntry(window, slot, &paths);
            if (started < 0)
                return;
            if (started == 0)
                continue;
        }
        int result = CarryOnEntry(window, kFastStepMilliseconds - spent);
        if (result < 0)
            return;
        if (result == 0)
            break;
    }
    ShowProgress(window);
    NextFastStep(window);
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
    if (g_copyProgress.fast)
        CopyForAWhile(window);
    else
        CopyOneEntry(window);
}

void OnYieldTimer(HWND window)
{
    KillTimer(window, kYieldTimerId);
    if (TakeStep(WM_TIMER))
        PostStep(window, CM_PACE);
}

// The window goes (the copy ended, or the setup did, as after a cancel): a
// file under way is abandoned, so its destination holds its old content or
// nothing.
void OnDestroy()
{
    if (g_copyProgress.copying)
        AbandonFileCopy(&g_copyProgress.file);
    g_copyProgress.copying = 0;
}

void OnFinish(HWND window)
{
    // Only the end this window reached itself: entries added since the
    // step that saw none are copied first.
    if (!TakeStep(CM_FINISH))
        return;
    if (g_copyProgress.copying || NextSlotToCopy() >= 0) {
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
    if (CallHook(SETUP_HOOK_ID_UserCancel, 1)) {
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

int BytePercent(unsigned long long done, unsigned long long total)
{
    if (total == 0)
        return 0;
    if (done >= total)
        return 100;
    // Scaled down first when the product could overflow.
    while (total > (~0ull) / 100) {
        total >>= 1;
        done >>= 1;
    }
    return static_cast<int>(done * 100 / total);
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
    case WM_TIMER:
        if (wParam == kYieldTimerId) {
            OnYieldTimer(window);
            return 0;
        }
        return 0;
    case WM_DESTROY:
        OnDestroy();
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
