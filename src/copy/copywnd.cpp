#include "copy/copywnd.h"

// The copy cycle arrives with the copy window itself; until then the class
// only behaves as a plain window.
LRESULT CALLBACK CopyingDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}
