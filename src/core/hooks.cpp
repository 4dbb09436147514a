#include "core/hooks.h"

#include "core/context.h"
#include "core/log.h"
#include "setupmodule.h"

namespace
{

int g_hookDepth;      // hooks of the module now on the stack
int g_releasePending; // the module is to be released once the last hook returns

// Brackets every hook call, so that the module is never unloaded under a hook
// that is still running.
void EnterHook()
{
    ++g_hookDepth;
}

// FARPROC stands for any export; the generic function type in between tells
// the compiler that the real signature is the hook's own.
template <typename Hook> Hook FindTypedHook(const char *name)
{
    return reinterpret_cast<Hook>(reinterpret_cast<void (*)()>(FindHook(name)));
}

void LeaveHook()
{
    if (--g_hookDepth == 0 && g_releasePending)
        ReleaseModule();
}

int Called(const char *name, int result)
{
    LogLine("hook %s: %d", name, result);
    return result;
}

int Missing(const char *name, int missing)
{
    LogLine("hook %s: not exported, taken as %d", name, missing);
    return missing;
}

} // namespace

FARPROC FindHook(const char *name)
{
    if (!g_setup.moduleHandle || g_releasePending)
        return nullptr;
    return GetProcAddress(g_setup.moduleHandle, name);
}

int CallHook(const char *name, int missing)
{
    auto hook = FindTypedHook<int(WINAPI *)()>(name);
    if (!hook)
        return Missing(name, missing);
    EnterHook();
    int result = hook();
    LeaveHook();
    return Called(name, result);
}

int CallHookWithText(const char *name, char *text, int missing)
{
    auto hook = FindTypedHook<int(WINAPI *)(char *)>(name);
    if (!hook)
        return Missing(name, missing);
    EnterHook();
    int result = hook(text);
    LeaveHook();
    return Called(name, result);
}

int CallHookWithTexts(const char *name, char *first, char *second, int missing)
{
    auto hook = FindTypedHook<int(WINAPI *)(char *, char *)>(name);
    if (!hook)
        return Missing(name, missing);
    EnterHook();
    int result = hook(first, second);
    LeaveHook();
    return Called(name, result);
}

void CallInitModule()
{
    auto hook = FindTypedHook<InitModuleHook>("InitModule");
    if (!hook) {
        Missing("InitModule", 0);
        return;
    }
    EnterHook();
    int result =
        hook(g_setup.mainWindow, g_setup.sourceDir, g_setup.moduleTitle, g_setup.moduleHandle);
    g_setup.moduleTitle[kModuleTitleSize - 1] = 0;
    LeaveHook();
    Called("InitModule", result);
}

void ReleaseModule()
{
    if (g_hookDepth > 0) {
        g_releasePending = 1;
        return;
    }
    if (g_setup.moduleHandle)
        FreeLibrary(g_setup.moduleHandle);
    g_setup.moduleHandle = nullptr;
    g_releasePending = 0;
}
