// The presentation dialog and the two status dialogs.
#pragma once

#include <windows.h>

extern "C" {
__declspec(dllexport) INT_PTR CALLBACK PresDlgProc(HWND dialog, UINT message, WPARAM wParam,
                                                   LPARAM lParam);
__declspec(dllexport) INT_PTR CALLBACK PreparingDlgProc(HWND dialog, UINT message, WPARAM wParam,
                                                        LPARAM lParam);
__declspec(dllexport) INT_PTR CALLBACK CreatingShtCutsDlgProc(HWND dialog, UINT message,
                                                              WPARAM wParam, LPARAM lParam);
}
