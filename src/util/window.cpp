#include "util/window.h"

int CenterWindow(HWND window, int top, int bottom, int left, int right)
{
    if (bottom == 0)
        bottom = GetSystemMetrics(SM_CYSCREEN);
    if (right == 0)
        right = GetSystemMetrics(SM_CXSCREEN);
    RECT frame;
    if (!GetWindowRect(window, &frame))
        return 0;
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    // C++ division truncates toward zero: one unit too wide still gives 0.
    int x = left + (right - left - width) / 2;
    int y = top + (bottom - top - height) / 2;
    if (x < 0 || y < 0)
        return 0;
    SetWindowPos(window, HWND_TOP, x, y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
    return 1;
}

void TellUser(HWND owner, const char *text, const char *caption)
{
    MessageBeep(MB_OK);
    MessageBoxA(owner, text, caption, MB_OK);
}

bool SentFromElsewhere()
{
    return (InSendMessageEx(nullptr) & (ISMEX_SEND | ISMEX_NOTIFY | ISMEX_CALLBACK)) != 0;
}

LRESULT RefuseSystemCommand(WPARAM wParam)
{
    return (wParam & 0xFFF0) == SC_SCREENSAVE ? 1 : 0;
}
