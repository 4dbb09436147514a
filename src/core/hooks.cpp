#include "core/hooks.h"

#include "core/context.h"
#include "core/log.h"
#include "setupmodule.h"

namespace
{

int g_hookDepth;      // hooks of the module now on the stack
int g_releasePending; // the module is to be released once the last hook returns

const char *const kHookNames[SETUP_HOOK_COUNT] = {SETUP_HOOKS(SETUP_HOOK_NAME_ENTRY)};

// Brackets every hook call, so that the module is never unloaded under a hook
// that is still running.
void EnterHook()
{
    ++g_hookDepth;
}

// FARPROC stands for any export; the generic function type in between tells
// the compiler that the real signature is the hook's own.
template <typename Hook> Hook FindTypedHook(SetupHookId id)
{
    return reinterpret_cast<Hook>(reinterpret_cast<void (*)()>(FindHook(id)));
}

void LeaveHook()
{
    if (--g_hookDepth == 0 && g_releasePending)
        ReleaseModule();
}

int Called(SetupHookId id, int result)
{
    LogLine("hook %s: %d", HookName(id), result);
    return result;
}

int Missing(SetupHookId id, int missing)
{
    LogLine("hook %s: not exported, taken as %d", HookName(id), missing);
    return missing;
}

} // namespace

const char *HookName(SetupHookId id)
{
    return kHookNames[id];
}

FARPROC FindHook(SetupHookId id)
{
    if (!g_setup.moduleHandle || g_releasePending)
        return nullptr;
    return GetProcAddress(g_setup.moduleHandle, HookName(id));
}

int CallHook(SetupHookId id, int missing)
{
    auto hook = FindTypedHook<int(WINAPI *)()>(id);
    if (!hook)
        return Missing(id, missing);
    EnterHook();
    int result = hook();
    LeaveHook();
    return Called(id, result);
}

int CallHookWithText(SetupHookId id, char *text, int missing)
{
    auto hook = FindTypedHook<int(WINAPI *)(char *)>(id);
    if (!hook)
        return Missing(id, missing);
    EnterHook();
    int result = hook(text);
    LeaveHook();
    return Called(id, result);
}

int CallHookWithTexts(SetupHookId id, char *first, char *second, int missing)
{
    auto hook = FindTypedHook<int(WINAPI *)(char *, char *)>(id);
    if (!hook)
        return Missing(id, missing);
    EnterHook();
    int result = hook(first, second);
    LeaveHook();
    return Called(id, result);
}

void CallInitModule()
{
    auto hook = FindTypedHook<InitModuleHook>(SETUP_HOOK_ID_InitModule);
    if (!hook) {
        Missing(SETUP_HOOK_ID_InitModule, 0);
        return;
    }
    EnterHook();
    int result =
        hook(g_setup.mainWindow, g_setup.sourceDir, g_setup.moduleTitle, g_setup.moduleHandle);
    g_setup.moduleTitle[kModuleTitleSize - 1] = 0;
    LeaveHook();
    Called(SETUP_HOOK_ID_InitModule, result);
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
