#include "askfolder.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <string.h>

#include "setupcontrols.h"
#include "setupkit.h"
#include "setupmodule.h"
#include "util/paths.h"
#include "util/text.h"

namespace
{

// Control ids of the dialog; IDOK and IDCANCEL are its buttons.
constexpr WORD kPrompt = 1301;
constexpr WORD kFolder = 1302;
constexpr WORD kBrowse = 1303;
constexpr WORD kNeeded = 1304;
constexpr WORD kFree = 1305;
constexpr UINT_PTR kSpaceTimer = 1;
// The space is counted again once the typing pauses this long.
constexpr UINT kSpacePause = 300;

// The presentation dialog's look: WS_POPUP | WS_VISIBLE | WS_CAPTION |
// DS_SETFONT, no system menu and no close box; MS Sans Serif 8; placed by
// its procedure.
constexpr DWORD kDialogStyle = 0x90C00040;
constexpr short kDialogWidth = 249;
constexpr short kDialogHeight = 122;

struct Asking {
    HWND mainWindow;
    const char *title;
    const char *id;
    char *destDir;
    unsigned long long extraBytes;
};

// ---------------------------------------------------------------------------
// The template, built in memory: a static library carries no resources.

struct TemplateWriter {
    WORD *at;
    WORD *end;
    bool fits;

    void Word(WORD value)
    {
        if (at < end)
            *at++ = value;
        else
            fits = false;
    }
    void Long(DWORD value)
    {
        Word(LOWORD(value));
        Word(HIWORD(value));
    }
    void Text(const char *text)
    {
        WCHAR wide[256];
        int length = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 256);
        if (length <= 0)
            wide[0] = 0, length = 1;
        for (int i = 0; i < length; ++i)
            Word(static_cast<WORD>(wide[i]));
    }
    void AlignLong()
    {
        if (reinterpret_cast<ULONG_PTR>(at) & 2)
            Word(0);
    }
    void Control(DWORD style, short x, short y, short cx, short cy, WORD id, WORD kind,
                 const char *text)
    {
        AlignLong();
        Long(WS_CHILD | WS_VISIBLE | style);
        Long(0);
        Word(static_cast<WORD>(x));
        Word(static_cast<WORD>(y));
        Word(static_cast<WORD>(cx));
        Word(static_cast<WORD>(cy));
        Word(id);
        Word(0xFFFF);
        Word(kind);
        Text(text);
        Word(0);
    }
};

constexpr WORD kButtonClass = 0x0080;
constexpr WORD kEditClass = 0x0081;
constexpr WORD kStaticClass = 0x0082;

bool BuildTemplate(WORD *buffer, size_t words)
{
    TemplateWriter out{buffer, buffer + words, true};
    out.Long(kDialogStyle);
    out.Long(0);
    out.Word(7);
    out.Word(0);
    out.Word(0);
    out.Word(static_cast<WORD>(kDialogWidth));
    out.Word(static_cast<WORD>(kDialogHeight));
    out.Word(0); // no menu
    out.Word(0); // the dialog class
    out.Text(SETUP_DIALOG_CAPTION);
    out.Word(8);
    out.Text("MS Sans Serif");
    out.Control(SS_LEFT, 8, 8, 233, 26, kPrompt, kStaticClass, "");
    out.Control(WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 8, 38, 178, 13, kFolder, kEditClass, "");
    out.Control(WS_TABSTOP | BS_PUSHBUTTON, 191, 37, 50, 14, kBrowse, kButtonClass, "&Browse...");
    out.Control(SS_LEFT, 8, 60, 233, 10, kNeeded, kStaticClass, "");
    out.Control(SS_LEFT, 8, 72, 233, 10, kFree, kStaticClass, "");
    out.Control(WS_TABSTOP | BS_DEFPUSHBUTTON, 68, 100, 50, 14, IDOK, kButtonClass, "OK");
    out.Control(WS_TABSTOP | BS_PUSHBUTTON, 130, 100, 50, 14, IDCANCEL, kButtonClass, "Cancel");
    return out.fits;
}

// ---------------------------------------------------------------------------
// The dialog

void Tell(const Asking *asking, HWND owner, const char *text)
{
    MessageBoxA(owner, text, asking->title[0] ? asking->title : SETUP_BOX_CAPTION,
                MB_OK | MB_ICONEXCLAMATION);
}

// Centred over setup's window, which is centred on the screen.
void Place(HWND dialog, HWND mainWindow)
{
    RECT owner;
    RECT own;
    if (!GetWindowRect(mainWindow, &owner) || !GetWindowRect(dialog, &own))
        return;
    int width = own.right - own.left;
    int height = own.bottom - own.top;
    SetWindowPos(dialog, nullptr, owner.left + (owner.right - owner.left - width) / 2,
                 owner.top + (owner.bottom - owner.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// What installing into the typed folder needs and what its volume has free,
// as setup counts them.
void ShowSpace(HWND dialog, const Asking *asking)
{
    char typed[SETUP_PATH_SIZE];
    GetDlgItemTextA(dialog, kFolder, typed, sizeof typed);
    SpaceQuery query = {};
    query.size = sizeof query;
    CopyText(query.folder, typed);
    char needed[64] = "Space needed: unknown";
    char free[SETUP_PATH_SIZE + 64] = "Space free: unknown";
    if (SendMessageA(asking->mainWindow, SM_GETSPACE, 0, reinterpret_cast<LPARAM>(&query)) == 1) {
        char size[32];
        ULONGLONG bytes = ((static_cast<ULONGLONG>(query.neededHigh) << 32) | query.neededLow) +
                          asking->extraBytes;
        StrFormatByteSize64A(static_cast<LONGLONG>(bytes), size, sizeof size);
        CopyText(needed, "Space needed: ");
        AppendText(needed, size);
        bytes = (static_cast<ULONGLONG>(query.freeHigh) << 32) | query.freeLow;
        StrFormatByteSize64A(static_cast<LONGLONG>(bytes), size, sizeof size);
        if (CopyText(free, "Space free on ") < 0 || AppendText(free, query.volume) < 0 ||
            AppendText(free, ": ") < 0 || AppendText(free, size) < 0)
            CopyText(free, "Space free: unknown");
    }
    SetDlgItemTextA(dialog, kNeeded, needed);
    SetDlgItemTextA(dialog, kFree, free);
}

int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM, LPARAM data)
{
    // The picker opens on the folder typed, as far as it exists.
    if (message == BFFM_INITIALIZED)
        SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, data);
    return 0;
}

void Browse(HWND dialog)
{
    char typed[SETUP_PATH_SIZE];
    GetDlgItemTextA(dialog, kFolder, typed, sizeof typed);
    char picked[MAX_PATH] = "";
    BROWSEINFOA browse = {};
    browse.hwndOwner = dialog;
    browse.pszDisplayName = picked;
    browse.lpszTitle = "Choose the folder to install into:";
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
    browse.lpfn = BrowseCallback;
    browse.lParam = reinterpret_cast<LPARAM>(typed);
    HRESULT com = CoInitialize(nullptr);
    LPITEMIDLIST chosen = SHBrowseForFolderA(&browse);
    if (chosen) {
        if (SHGetPathFromIDListA(chosen, picked) && picked[0])
            SetDlgItemTextA(dialog, kFolder, picked);
        CoTaskMemFree(chosen);
    }
    if (SUCCEEDED(com))
        CoUninitialize();
}

// Tells the user what is wrong with the typed folder; false when nothing is.
bool Refused(HWND dialog, const Asking *asking, const char *typed, char *full)
{
    char windowsDir[MAX_PATH] = "";
    GetWindowsDirectoryA(windowsDir, sizeof windowsDir);
    char text[1024];
    switch (CheckTypedFolder(typed, windowsDir, full)) {
    case kFolderUsable:
        break;
    case kFolderEmpty:
        Tell(asking, dialog, "Type the folder to install into, or choose Browse.");
        return true;
    case kFolderNotFull:
        wsprintfA(text,
                  "%.259s is not a complete folder path.\n\nType a folder with its drive, such "
                  "as C:\\Programs\\Product, or choose Browse.",
                  typed);
        Tell(asking, dialog, text);
        return true;
    case kFolderInWindows:
        wsprintfA(text,
                  "%.259s is the Windows folder or inside it.\n\nChoose a folder of the "
                  "product's own.",
                  full);
        Tell(asking, dialog, text);
        return true;
    case kFolderRoot:
        wsprintfA(text,
                  "%.259s is a whole drive.\n\nChoose a folder on it for the product, not the "
                  "drive itself.",
                  full);
        Tell(asking, dialog, text);
        return true;
    }
    if (!asking->id[0])
        return false;
    KitDestination found = {};
    found.size = sizeof found;
    int result = KitCheckDestination(asking->mainWindow, asking->id,
                                     asking->title[0] ? asking->title : asking->id, full, &found);
    if (result != KIT_DEST_OTHER && result != KIT_DEST_ELSEWHERE)
        return false;
    Tell(asking, dialog, found.message);
    return true;
}

void OnInit(HWND dialog, const Asking *asking)
{
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(asking));
    char prompt[400];
    wsprintfA(prompt,
              "Setup will install %.175s into this folder. To install it elsewhere, type "
              "another folder or choose Browse.",
              asking->title[0] ? asking->title : "the product");
    SetDlgItemTextA(dialog, kPrompt, prompt);
    SendDlgItemMessageA(dialog, kFolder, EM_LIMITTEXT, SETUP_PATH_SIZE - 1, 0);
    SetDlgItemTextA(dialog, kFolder, asking->destDir);
    ShowSpace(dialog, asking);
    Place(dialog, asking->mainWindow);
    SendMessageA(asking->mainWindow, SM_REPAINT, 0, 0);
}

INT_PTR CALLBACK FolderDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *asking = reinterpret_cast<Asking *>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        OnInit(dialog, reinterpret_cast<Asking *>(lParam));
        SetFocus(GetDlgItem(dialog, kFolder));
        SendDlgItemMessageA(dialog, kFolder, EM_SETSEL, 0, -1);
        return FALSE;
    case WM_TIMER:
        if (wParam == kSpaceTimer && asking) {
            KillTimer(dialog, kSpaceTimer);
            ShowSpace(dialog, asking);
        }
        return TRUE;
    case WM_COMMAND:
        if (!asking)
            return FALSE;
        if (LOWORD(wParam) == kFolder && HIWORD(wParam) == EN_CHANGE) {
            SetTimer(dialog, kSpaceTimer, kSpacePause, nullptr);
            return TRUE;
        }
        if (LOWORD(wParam) == kBrowse && HIWORD(wParam) == BN_CLICKED) {
            Browse(dialog);
            return TRUE;
        }
        if (LOWORD(wParam) == IDOK) {
            char typed[SETUP_PATH_SIZE];
            char full[SETUP_PATH_SIZE];
            GetDlgItemTextA(dialog, kFolder, typed, sizeof typed);
            if (!Refused(dialog, asking, typed, full)) {
                CopyText(asking->destDir, SETUP_PATH_SIZE, full);
                EndDialog(dialog, 1);
            }
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

// A drive's root ("C:\") or a share's ("\\server\share"), with nothing below.
bool IsRootOnly(const char *full)
{
    if (full[0] && full[1] == ':')
        return full[2] == '\\' && !full[3];
    if (full[0] != '\\' || full[1] != '\\')
        return false;
    const char *share = strchr(full + 2, '\\');
    return share && !strchr(share + 1, '\\');
}

} // namespace

FolderFault CheckTypedFolder(const char *typed, const char *windowsDir, char *full)
{
    full[0] = 0;
    const char *start = typed;
    while (*start == ' ')
        ++start;
    if (!*start)
        return kFolderEmpty;
    char windows[SETUP_PATH_SIZE];
    if (!FullFolderPath(full, SETUP_PATH_SIZE, start))
        return kFolderNotFull;
    if (IsRootOnly(full))
        return kFolderRoot;
    char normal[SETUP_PATH_SIZE];
    if (windowsDir[0] && NormaliseFullPath(windows, windowsDir) &&
        NormaliseFullPath(normal, full) && PathWithin(normal, windows, true))
        return kFolderInWindows;
    return kFolderUsable;
}

int AskForFolder(HWND mainWindow, const char *title, const char *id, char *destDir,
                 unsigned long long extraBytes)
{
    alignas(4) static WORD buffer[1024];
    if (!BuildTemplate(buffer, sizeof buffer / sizeof buffer[0]))
        return 1;
    Asking asking = {mainWindow, title ? title : "", id ? id : "", destDir, extraBytes};
    INT_PTR answer = DialogBoxIndirectParamA(GetModuleHandleA(nullptr),
                                             reinterpret_cast<LPCDLGTEMPLATEA>(buffer), mainWindow,
                                             FolderDlgProc, reinterpret_cast<LPARAM>(&asking));
    return answer == 0 ? 0 : 1;
}
