// The one reader of PE files (Windows programs and DLLs): where an image's
// headers and sections lie, for the package's writer and the signing; and
// what a setup module offers and needs, the names it exports and the DLLs it
// imports, and how its exports meet the hooks that setup.exe looks up by name.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "setuphooks.h"

#include <string>
#include <vector>

// Where the "PE\0\0" signature lies that the MZ header points to; false for
// bytes that are no PE image (under 64 bytes, no MZ, no signature there).
bool FindPeHeader(const std::string &bytes, uint32_t *header);

struct PeSection {
    char name[9];
    uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
};

// A 32-bit program's facts that a writer of its file needs.
struct PeLayout {
    size_t checksumAt;
    size_t certificateAt; // the data directory entry of the certificate table
    uint32_t resourceRva;
    std::vector<PeSection> sections;
    size_t end; // where the last section's data ends
};

// Reads a 32-bit (PE32) image's layout; false, with `*why`, when it is not
// one or its section table or a section's data lies beyond the file.
bool ReadPeLayout(const std::string &image, PeLayout *pe, std::string *why);

// The file offset of `size` bytes at `rva`, or 0 when no section holds them.
size_t PeFileOffset(const PeLayout &pe, uint32_t rva, uint32_t size);

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
