// The setup module a test loads as the shell would (a DLL the build put
// beside the test program, its handle in g_setup.moduleHandle) and the
// stand-in main window that such a module talks to.
#pragma once

#include "core/context.h"
#include "tempdir.h"

#include <windows.h>
#include <gtest/gtest.h>

// `module`'s export `symbol` as a function of type Fn; null when missing.
template <typename Fn> Fn ExportOf(HMODULE module, const char *symbol)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, symbol)));
}

// The export `symbol` of the module in g_setup.moduleHandle.
template <typename Fn> Fn ModuleExport(const char *symbol)
{
    return ExportOf<Fn>(g_setup.moduleHandle, symbol);
}

// A message-only window of its own class `className`, served by `proc`: the
// stand-in for the shell's main window, which a module sends its requests to.
inline HWND StandInWindow(const char *className, WNDPROC proc, const char *caption = "")
{
    WNDCLASSA cls = {};
    cls.lpfnWndProc = proc;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.lpszClassName = className;
    RegisterClassA(&cls);
    return CreateWindowExA(0, className, caption, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           cls.hInstance, nullptr);
}

// Loads `name` from the test program's folder into g_setup.moduleHandle;
// use as ASSERT_TRUE(LoadSetupModule(...)).
inline ::testing::AssertionResult LoadSetupModule(const char *name)
{
    g_setup.moduleHandle = LoadLibraryA((testfs::ExeFolder() + name).c_str());
    if (!g_setup.moduleHandle)
        return ::testing::AssertionFailure() << name << " did not load";
    return ::testing::AssertionSuccess();
}
