// The main window: class SETUP_CLASS, 600 x 420, caption only.
#pragma once

#include <windows.h>

#include "setupdist.h"

constexpr char kMainClass[] = "SETUP_CLASS";
constexpr char kDataFile[] = SETUP_DATA_FILE;
constexpr int kMainWidth = 600;
constexpr int kMainHeight = 420;
constexpr int kTicksToBegin = 24;

// Stops turning away the messages that must never be posted to the main
// window (installed when the window is created); once the loop has ended.
void StopFilteringPosts();

extern "C" __declspec(dllexport) LRESULT CALLBACK
    WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
