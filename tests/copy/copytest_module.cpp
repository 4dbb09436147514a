// A setup module for the conflict scan and copy window tests: its FileConflict
// and UserCancel hooks answer what the test scripted (copytest_module.h).
#include <windows.h>
#include <string.h>

#include "copytest_module.h"

namespace
{

constexpr int kMaxCalls = 32;

HWND g_mainWindow;
int g_answers[kMaxCalls];
int g_answerCount;
int g_addOnCall = -1;
CopyRequest g_adds[4];
int g_addCount;
int g_conflictCalls;
char g_seenDest[kMaxCalls][MAX_PATH];
char g_seenSource[kMaxCalls][MAX_PATH];

int g_cancelAnswer = 1;
int g_holdMs;
const int *g_watch;
int g_watchedBefore = -1;
int g_watchedAfter = -1;
int g_cancelCalls;

void Remember(char (&seen)[MAX_PATH], const char *path)
{
    strncpy(seen, path, MAX_PATH - 1);
    seen[MAX_PATH - 1] = 0;
}

// Serves messages for `ms` milliseconds, as a question box would.
void Hold(int ms)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < static_cast<DWORD>(ms)) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

} // namespace

extern "C" {

__declspec(dllexport) void WINAPI
    ScriptConflicts(HWND mainWindow, const int *answers, int count, int addOnCall,
                    const CopyRequest *adds, int addCount)
{
    g_mainWindow = mainWindow;
    g_answerCount = count < kMaxCalls ? count : kMaxCalls;
    memcpy(g_answers, answers, sizeof(int) * g_answerCount);
    g_addOnCall = addOnCall;
    g_addCount = addCount < 4 ? addCount : 4;
    memcpy(g_adds, adds, sizeof(CopyRequest) * g_addCount);
    g_conflictCalls = 0;
}

__declspec(dllexport) int WINAPI ConflictCalls(void)
{
    return g_conflictCalls;
}

__declspec(dllexport) const char *WINAPI SeenDest(int call)
{
    return call >= 0 && call < kMaxCalls ? g_seenDest[call] : "";
}

__declspec(dllexport) const char *WINAPI SeenSource(int call)
{
    return call >= 0 && call < kMaxCalls ? g_seenSource[call] : "";
}

__declspec(dllexport) void WINAPI ScriptCancel(int answer, int holdMs, const int *watch)
{
    g_cancelAnswer = answer;
    g_holdMs = holdMs;
    g_watch = watch;
    g_watchedBefore = g_watchedAfter = -1;
    g_cancelCalls = 0;
}

__declspec(dllexport) int WINAPI CancelCalls(void)
{
    return g_cancelCalls;
}

__declspec(dllexport) void WINAPI Watched(int *before, int *after)
{
    *before = g_watchedBefore;
    *after = g_watchedAfter;
}

int WINAPI FileConflict(char *destPath, char *sourcePath)
{
    int call = g_conflictCalls++;
    if (call < kMaxCalls) {
        Remember(g_seenDest[call], destPath);
        Remember(g_seenSource[call], sourcePath);
    }
    if (call == g_addOnCall) {
        for (int i = 0; i < g_addCount; ++i)
            SendMessageA(g_mainWindow, SM_ADDCOPYENTRY, 0, reinterpret_cast<LPARAM>(&g_adds[i]));
    }
    return call < g_answerCount ? g_answers[call] : FC_REPLACE;
}

int WINAPI UserCancel(void)
{
    ++g_cancelCalls;
    if (g_watch)
        g_watchedBefore = *g_watch;
    Hold(g_holdMs);
    if (g_watch)
        g_watchedAfter = *g_watch;
    return g_cancelAnswer;
}
}
