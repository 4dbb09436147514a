/*
 * setuphooks.h - the setup module's hooks, stated once: their names, in the
 * order of a complete run, with their parameters. setupmodule.h declares
 * them from this list, setup.exe looks them up by these names, and the
 * vendor's tool checks a module's exports against them. No Windows header
 * is needed to read the names; only expanding the parameters needs one.
 *
 * SETUP_HOOKS(X) expands X(name, parameters) once per hook.
 */
#ifndef SETUPHOOKS_H
#define SETUPHOOKS_H

/* clang-format off */
#define SETUP_HOOKS(X)                                                                           \
    X(InitModule, (HWND mainWindow, char *sourceDir, char *moduleTitle, HMODULE module))        \
    X(Present, (char *scratch))                                                                  \
    X(SetDestDir, (char *destDir))                                                               \
    X(AddFiles, (void))                                                                          \
    X(FileConflict, (char *destPath, char *sourcePath))                                          \
    X(GetAddInList, (void))                                                                      \
    X(StartCopy, (void))                                                                         \
    X(UserCancel, (void))                                                                        \
    X(CriticError, (char *failedPath))                                                           \
    X(NonCriticError, (char *failedPath))                                                        \
    X(EndCopy, (void))                                                                           \
    X(CreateShortcuts, (void))                                                                   \
    X(GenIniFiles, (void))                                                                       \
    X(GetAddInOff, (void))                                                                       \
    X(EndSetup, (void))                                                                          \
    X(DemoQuery, (char *program, char *document))
/* clang-format on */

/* A hook's place in the list: SETUP_HOOK_ID_InitModule is 0. */
#define SETUP_HOOK_ID_ENTRY(name, parameters) SETUP_HOOK_ID_##name,
enum SetupHookId { SETUP_HOOKS(SETUP_HOOK_ID_ENTRY) SETUP_HOOK_COUNT };

/* A hook's exported name as a text, for a table of names:
   const char *const names[] = {SETUP_HOOKS(SETUP_HOOK_NAME_ENTRY)}; */
#define SETUP_HOOK_NAME_ENTRY(name, parameters) #name,

#endif /* SETUPHOOKS_H */
