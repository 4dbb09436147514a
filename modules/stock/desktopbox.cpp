#include "desktopbox.h"

#include "boxtemplate.h"

namespace
{

constexpr WORD kText = 1000;
constexpr WORD kCheck = 1001;

struct Offer {
    const char *linkName;
    bool checked;
};

INT_PTR CALLBACK DesktopProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        const Offer *offer = reinterpret_cast<const Offer *>(lParam);
        char text[400];
        wsprintfA(text, "Setup can put a shortcut to %.200s on the desktop.", offer->linkName);
        SetDlgItemTextA(dialog, kText, text);
        CheckDlgButton(dialog, kCheck, offer->checked ? BST_CHECKED : BST_UNCHECKED);
        return TRUE;
    }
    case WM_COMMAND:
        // Continue, Enter or Escape: the box's state is the answer.
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IsDlgButtonChecked(dialog, kCheck) == BST_CHECKED ? 1 : 0);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

} // namespace

bool AskDesktop(HWND owner, const char *caption, const char *linkName, bool checked)
{
    BoxTemplate *t = static_cast<BoxTemplate *>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(BoxTemplate)));
    if (!t)
        return checked;
    BeginBox(t, caption, 3, 220, 80);
    AddBoxItem(t, SS_CENTER | SS_NOPREFIX, 8, 8, 204, 24, kText, kBoxStaticClass, "");
    AddBoxItem(t, WS_TABSTOP | BS_AUTOCHECKBOX, 30, 36, 170, 12, kCheck, kBoxButtonClass,
               "Put a shortcut on the &desktop");
    AddBoxItem(t, WS_TABSTOP | BS_DEFPUSHBUTTON, 85, 58, 50, 14, IDOK, kBoxButtonClass,
               "&Continue");
    Offer offer = {linkName, checked};
    INT_PTR chosen = RunBox(t, owner, DesktopProc, reinterpret_cast<LPARAM>(&offer));
    HeapFree(GetProcessHeap(), 0, t);
    return chosen < 0 ? checked : chosen == 1;
}
