// The scripting exports of copytest.dll, the setup module the conflict and
// copy window tests load. Besides its hooks (FileConflict, UserCancel) it
// exports these, so a test can say what the hooks answer and read back how
// they were called.
#pragma once

#include <windows.h>

#include "setupmodule.h"

// FileConflict answers answers[0], answers[1], ... (1 once they run out) and
// records the paths it was given. Requests in `adds` are sent to `mainWindow`
// as SM_ADDCOPYENTRY from inside call number `addOnCall` (0-based).
typedef void(WINAPI *ScriptConflictsFn)(HWND mainWindow, const int *answers, int count,
                                        int addOnCall, const CopyRequest *adds, int addCount);
typedef int(WINAPI *ConflictCallsFn)(void);
// The destination and source paths of call `call`, as the hook received them.
typedef const char *(WINAPI *SeenPathFn)(int call);
// UserCancel runs a message loop for holdMs milliseconds (a question to the
// user), noting *watch before and after it, then answers `answer`.
typedef void(WINAPI *ScriptCancelFn)(int answer, int holdMs, const int *watch);
typedef int(WINAPI *CancelCallsFn)(void);
// *watch when the hold began and when it ended.
typedef void(WINAPI *WatchedFn)(int *before, int *after);
