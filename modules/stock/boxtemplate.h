// Dialog templates built in memory for the stock kit's own dialogs: a static
// library cannot carry a resource into the module that links it. Each
// dialog looks like setup's message dialogs (src/res/dialogs.rc): a modal
// frame, centred, 8-point MS Sans Serif.
#pragma once

#include <windows.h>

constexpr int kBoxTemplateWords = 1536;

struct BoxTemplate {
    alignas(4) WORD words[kBoxTemplateWords];
    int used;
};

constexpr WORD kBoxButtonClass = 0x0080;
constexpr WORD kBoxStaticClass = 0x0082;

// Starts the template: `items` controls follow, the dialog `cx` by `cy`
// dialog units, captioned `caption`.
void BeginBox(BoxTemplate *t, const char *caption, int items, short cx, short cy);

// One control: WS_CHILD | WS_VISIBLE | `style`, of class `kind`.
void AddBoxItem(BoxTemplate *t, DWORD style, short x, short y, short cx, short cy, WORD id,
                WORD kind, const char *text);

// Runs the dialog owned by `owner`; `param` reaches WM_INITDIALOG. Returns
// what EndDialog was given, or -1 when the dialog could not be made.
INT_PTR RunBox(const BoxTemplate *t, HWND owner, DLGPROC procedure, LPARAM param);
