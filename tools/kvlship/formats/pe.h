// What a setup module offers and needs, read from its PE file: the names it
// exports and the DLLs it imports, and how its exports meet the hooks that
// setup.exe looks up by name.
#pragma once

#include "setuphooks.h"

#include <string>
#include <vector>

struct PeModule {
    std::string problem;              // empty for a 32-bit DLL that could be read
    std::vector<std::string> exports; // exported names
    std::vector<std::string> imports; // imported DLLs, delay-loaded ones too
};

// Reads the module from its file's bytes.
void ReadPeModule(const std::string &bytes, PeModule *module);

// The hooks, in the order of a complete run.
extern const char *const kHookNames[SETUP_HOOK_COUNT];

enum class HookMatch {
    None,
    Exact,
    Decorated,  // _InitModule@16 or InitModule@16: the name setup.exe looks up is not there
    Misspelled, // differs from a hook by case or by one or two letters
};

// How `exportName` relates to the hook names; `*hook` receives the hook it
// resembles (nullptr for None).
HookMatch MatchHook(const std::string &exportName, const char **hook);

// True for a DLL that every Windows has in its system folder, which is
// where setup.exe takes all libraries from.
bool IsSystemDll(const std::string &name);
