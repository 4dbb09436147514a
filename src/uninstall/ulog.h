// uninst.exe's log (/LOG=) and its messages to the user, which go to the log
// and, unless it runs silently, to a box.
#pragma once

#include <windows.h>

// Opens (appending to) the log at `path`; false when it cannot be.
bool OpenUninstallLog(const char *path);
void CloseUninstallLog();

// One time-stamped line, written through at once; `format` is wsprintf's with
// every text bounded by its precision (%.259s). Nothing without a log.
void Log(const char *format, ...);

// Tells the user (a box with OK, and `icon`) and logs it; silently only logs.
void TellOrLog(bool silent, HWND owner, const char *text, const char *caption, UINT icon);
