// The copy progress window (class COPYINGWND).
#pragma once

#include <windows.h>

extern "C" __declspec(dllexport) LRESULT CALLBACK CopyingDlgProc(HWND window, UINT message,
                                                                 WPARAM wParam, LPARAM lParam);
