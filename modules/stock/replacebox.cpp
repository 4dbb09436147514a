#include "replacebox.h"

#include "boxtemplate.h"

namespace
{

constexpr WORD kYesToAll = 100;
constexpr WORD kNoToAll = 101;
constexpr WORD kMessage = 1000;

struct Button {
    WORD id;
    const char *label;
};

const Button kButtons[] = {{IDYES, "&Yes"},
                           {kYesToAll, "Yes to &All"},
                           {IDNO, "&No"},
                           {kNoToAll, "N&o to All"},
                           {IDCANCEL, "Cancel"}};
constexpr int kButtonCount = static_cast<int>(sizeof kButtons / sizeof kButtons[0]);

// The text centred above a row of buttons, as setup's own message dialogs.
void BuildReplaceBox(BoxTemplate *t, const char *caption)
{
    BeginBox(t, caption, kButtonCount + 1, 300, 80);
    AddBoxItem(t, SS_CENTER | SS_NOPREFIX, 8, 8, 284, 44, kMessage, kBoxStaticClass, "");
    for (int i = 0; i < kButtonCount; ++i) {
        DWORD style = WS_TABSTOP | (i == 0 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        AddBoxItem(t, style, static_cast<short>(8 + i * 58), 58, 52, 14, kButtons[i].id,
                   kBoxButtonClass, kButtons[i].label);
    }
}

INT_PTR CALLBACK ReplaceProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        SetDlgItemTextA(dialog, kMessage, reinterpret_cast<const char *>(lParam));
        return TRUE;
    case WM_COMMAND:
        for (const Button &button : kButtons) {
            if (LOWORD(wParam) == button.id) {
                EndDialog(dialog, button.id);
                return TRUE;
            }
        }
        break;
    }
    return FALSE;
}

} // namespace

ReplaceAnswer AskReplace(HWND owner, const char *caption, const char *text)
{
    BoxTemplate *t = static_cast<BoxTemplate *>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(BoxTemplate)));
    if (!t)
        return ReplaceAnswer::Cancel;
    BuildReplaceBox(t, caption);
    INT_PTR chosen = RunBox(t, owner, ReplaceProc, reinterpret_cast<LPARAM>(text));
    HeapFree(GetProcessHeap(), 0, t);
    switch (chosen) {
    case IDYES:
        return ReplaceAnswer::Yes;
    case kYesToAll:
        return ReplaceAnswer::YesToAll;
    case IDNO:
        return ReplaceAnswer::No;
    case kNoToAll:
        return ReplaceAnswer::NoToAll;
    default:
        return ReplaceAnswer::Cancel;
    }
}
