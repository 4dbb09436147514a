#include "screens/dialogs.h"

#include "core/context.h"
#include "core/deferred.h"
#include "core/hooks.h"
#include "core/protocol.h"
#include "setupmodule.h"
#include "util/paths.h"
#include "util/window.h"

namespace
{

constexpr int kBannerSize = 1024;
constexpr char kBannerFormat[] = "\n\tWELCOME TO KARVELO SETUP\n\t"
                                 "Copyright (C) Karvelo. All rights reserved."
                                 "\n\n\tMODULE ID: %s";

void RepaintMainWindow()
{
    SendMessageA(g_setup.mainWindow, SM_REPAINT, 0, 0);
}

void OnPresentInit(HWND dialog)
{
    RepaintMainWindow();
    CenterWindow(dialog, 0, 0, 0, 0);
    SendDlgItemMessageA(dialog, kAgreementText, WM_SETFONT,
                        reinterpret_cast<WPARAM>(GetStockObject(ANSI_VAR_FONT)), 0);

    char banner[kBannerSize];
    FormatBanner(banner, g_setup.setupTitle);
    SetDlgItemTextA(dialog, kBannerText, banner);

    char path[kPathSize];
    if (JoinPath(path, g_setup.sourceDir, kAgreementFile))
        LoadAgreementText(GetDlgItem(dialog, kAgreementText), path);
}

// Shows a status dialog until its deferred close arrives.
void StartStatusTime(HWND dialog)
{
    ScheduleDeferredPost(dialog, kStatusTicks, SM_CLOSE, 0, 0);
}

} // namespace

void FormatBanner(char *dest, const char *title)
{
    // The title comes from a 260-byte field, so the banner stays far below
    // the 1024 bytes that wsprintf writes at most.
    wsprintfA(dest, kBannerFormat, title);
}

int LoadAgreementText(HWND edit, const char *path)
{
    // CreateFile rather than OpenFile: OpenFile refuses paths of 128
    // characters or more, which would show an empty agreement.
    // Others may have the file open for writing (a share, a virus scanner).
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, kAgreementSize);
    if (!memory) {
        CloseHandle(file);
        return -1;
    }
    char *text = static_cast<char *>(GlobalLock(memory));
    DWORD count = 0;
    if (text) {
        // One byte short of the buffer: the zero fill behind the text ends it.
        if (!ReadFile(file, text, kAgreementSize - 1, &count, nullptr))
            count = 0;
        for (DWORD i = 0; i < count; ++i)
            text[i] = static_cast<char>(~text[i]);
        SetWindowTextA(edit, text);
        GlobalUnlock(memory);
    }
    GlobalFree(memory);
    CloseHandle(file);
    return text ? 1 : -1;
}

INT_PTR CALLBACK PresDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        OnPresentInit(dialog);
        return TRUE;
    case WM_COMMAND:
        // The whole wParam is compared: only a click of either button counts.
        if (wParam == kAgreeButton) {
            EndDialog(dialog, 1);
            return TRUE;
        }
        if (wParam == kExitButton) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        return FALSE;
    case WM_SYSCOMMAND:
        // Unlike the shell's windows, the dialog compares the whole wParam and
        // leaves every other command to the dialog manager.
        return wParam == SC_SCREENSAVE ? TRUE : FALSE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK PreparingDlgProc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        RepaintMainWindow();
        StartStatusTime(dialog);
        return TRUE;
    case SM_CLOSE:
        EndDialog(dialog, 1);
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK CreatingShtCutsDlgProc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        RepaintMainWindow();
        if (!CallHook(SETUP_HOOK_ID_CreateShortcuts, 1)) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        StartStatusTime(dialog);
        return TRUE;
    case SM_CLOSE:
        EndDialog(dialog, 1);
        return TRUE;
    default:
        return FALSE;
    }
}
