#include "uninstall/screens.h"

#include <string.h>

#include "util/text.h"

namespace
{

constexpr char kProgressClass[] = "KVLUNINSTALLPROGRESS";
constexpr int kProgressWidth = 420;
constexpr int kProgressHeight = 130;
constexpr int kListedMost = 12; // paths listed under each heading of the summary

struct ProgressState {
    int done;
    int total;
    char path[260];
};

ProgressState g_progress;

LRESULT CALLBACK ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE)
        return 0; // the removal is not to be cut in half
    if (message != WM_PAINT)
        return DefWindowProcA(window, message, wParam, lParam);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    SetBkMode(dc, TRANSPARENT);
    RECT line = {12, 12, client.right - 12, 32};
    DrawTextA(dc, "Removing:", -1, &line, DT_SINGLELINE | DT_LEFT);
    OffsetRect(&line, 0, 20);
    DrawTextA(dc, g_progress.path, -1, &line, DT_SINGLELINE | DT_LEFT | DT_PATH_ELLIPSIS);
    RECT bar = {12, 64, client.right - 12, 82};
    FrameRect(dc, &bar, GetSysColorBrush(COLOR_BTNSHADOW));
    InflateRect(&bar, -2, -2);
    if (g_progress.total > 0)
        bar.right = bar.left + (bar.right - bar.left) * g_progress.done / g_progress.total;
    FillRect(dc, &bar, GetSysColorBrush(COLOR_HIGHLIGHT));
    EndPaint(window, &paint);
    return 0;
}

void Pump()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// Appends the paths of every item that came to `outcome` under `heading`.
void ListOutcome(const Removal *removal, Outcome outcome, const char *heading, char *text,
                 size_t size)
{
    int count = CountOutcome(removal, outcome);
    if (count == 0)
        return;
    AppendText(text, size, "\n\n");
    AppendText(text, size, heading);
    int listed = 0;
    for (int i = 0; i < removal->record->count && listed < kListedMost; ++i) {
        int kind = removal->record->items[i].kind;
        if (removal->outcome[i] != outcome || kind == RECORD_DIR || kind == RECORD_GROUP ||
            kind == RECORD_REGKEY)
            continue;
        AppendText(text, size, "\n    ");
        AppendText(text, size, removal->record->items[i].path);
        ++listed;
    }
    if (count > listed) {
        char more[48];
        wsprintfA(more, "\n    and %d more", count - listed);
        AppendText(text, size, more);
    }
}

} // namespace

bool AskToRemove(const char *product, const char *caption)
{
    char question[400];
    wsprintfA(question, "Remove %.259s and all of its components?", product);
    return MessageBoxA(nullptr, question, caption, MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) ==
           IDYES;
}

HWND OpenProgress(HINSTANCE instance, const char *caption)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ProgressProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_WAIT);
    windowClass.lpszClassName = kProgressClass;
    RegisterClassA(&windowClass);
    int x = (GetSystemMetrics(SM_CXSCREEN) - kProgressWidth) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - kProgressHeight) / 2;
    HWND window = CreateWindowExA(0, kProgressClass, caption, WS_POPUP | WS_CAPTION | WS_VISIBLE,
                                  x > 0 ? x : 0, y > 0 ? y : 0, kProgressWidth, kProgressHeight,
                                  nullptr, nullptr, instance, nullptr);
    if (window) {
        UpdateWindow(window);
        Pump();
    }
    return window;
}

void CloseProgress(HWND window)
{
    if (window)
        DestroyWindow(window);
    Pump();
}

void ShowProgress(void *window, int done, int total, const char *path)
{
    if (!window)
        return;
    g_progress.done = done;
    g_progress.total = total;
    CopyText(g_progress.path, path);
    InvalidateRect(static_cast<HWND>(window), nullptr, FALSE);
    UpdateWindow(static_cast<HWND>(window));
    Pump();
}

void WriteSummary(const Removal *removal, const char *product, char *text, size_t size)
{
    text[0] = 0;
    bool whole = CountOutcome(removal, OUTCOME_CHANGED) == 0 &&
                 CountOutcome(removal, OUTCOME_SCHEDULED) == 0 &&
                 CountOutcome(removal, OUTCOME_KEPT) == 0;
    char first[400];
    wsprintfA(first,
              whole ? "%.259s was removed from your computer."
                    : "%.259s was removed, except for what is listed below.",
              product);
    AppendText(text, size, first);
    ListOutcome(removal, OUTCOME_CHANGED,
                "Changed since installation (kept, in case they hold your work):", text, size);
    ListOutcome(removal, OUTCOME_SCHEDULED,
                "In use now (removed when you restart the computer):", text, size);
    ListOutcome(removal, OUTCOME_KEPT, "Could not be removed:", text, size);
}
