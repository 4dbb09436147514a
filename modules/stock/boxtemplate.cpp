#include "boxtemplate.h"

namespace
{

void Put(BoxTemplate *t, WORD word)
{
    if (t->used < kBoxTemplateWords)
        t->words[t->used++] = word;
}

void PutLong(BoxTemplate *t, DWORD value)
{
    Put(t, LOWORD(value));
    Put(t, HIWORD(value));
}

// A zero-terminated wide text, cut to 200 characters (a caption or a label).
void PutText(BoxTemplate *t, const char *text)
{
    WCHAR wide[201];
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 201);
    if (length <= 0)
        length = 1;
    wide[length - 1] = 0;
    for (int i = 0; i < length; ++i)
        Put(t, wide[i]);
}

HINSTANCE ThisModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<const char *>(&PutText), &module);
    return module;
}

} // namespace

void BeginBox(BoxTemplate *t, const char *caption, int items, short cx, short cy)
{
    t->used = 0;
    PutLong(t, DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_VISIBLE);
    PutLong(t, 0);
    Put(t, static_cast<WORD>(items));
    Put(t, 0);
    Put(t, 0);
    Put(t, static_cast<WORD>(cx));
    Put(t, static_cast<WORD>(cy));
    Put(t, 0); // no menu
    Put(t, 0); // the dialog class
    PutText(t, caption);
    Put(t, 8);
    PutText(t, "MS Sans Serif");
}

void AddBoxItem(BoxTemplate *t, DWORD style, short x, short y, short cx, short cy, WORD id,
                WORD kind, const char *text)
{
    // Each item starts on a DWORD.
    if (t->used % 2)
        Put(t, 0);
    PutLong(t, WS_CHILD | WS_VISIBLE | style);
    PutLong(t, 0);
    Put(t, static_cast<WORD>(x));
    Put(t, static_cast<WORD>(y));
    Put(t, static_cast<WORD>(cx));
    Put(t, static_cast<WORD>(cy));
    Put(t, id);
    Put(t, 0xFFFF);
    Put(t, kind);
    PutText(t, text);
    Put(t, 0); // no creation data
}

INT_PTR RunBox(const BoxTemplate *t, HWND owner, DLGPROC procedure, LPARAM param)
{
    return DialogBoxIndirectParamA(ThisModule(), reinterpret_cast<const DLGTEMPLATE *>(t->words),
                                   owner, procedure, param);
}
