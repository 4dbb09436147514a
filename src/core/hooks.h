// Calls into the setup module. Every hook is looked up by its exported name
// right before each call; nothing is cached, and a hook the module does not
// export takes the default the caller names.
#pragma once

#include <windows.h>

#include "setuphooks.h"

// The hook's exported name, as setuphooks.h lists it.
const char *HookName(SetupHookId id);

// The loaded module's export of hook `id`, or nullptr (no module, no export).
FARPROC FindHook(SetupHookId id);

// Calls a hook without arguments. Returns its result, or `missing` when the
// module does not export it.
int CallHook(SetupHookId id, int missing);

// Calls a hook that takes one text buffer (Present, SetDestDir, CriticError).
int CallHookWithText(SetupHookId id, char *text, int missing);

// Calls a hook that takes two text buffers (FileConflict, DemoQuery).
int CallHookWithTexts(SetupHookId id, char *first, char *second, int missing);

// Calls InitModule with the main window, the source folder, the title buffer
// and the module's handle, then cuts the title to its documented size.
void CallInitModule();

// Releases the module, or, while one of its hooks is still on the stack (the
// module ended the setup from inside a hook), as soon as that hook returns.
void ReleaseModule();
