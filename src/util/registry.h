// Reading one registry value through a path of sub-keys.
#pragma once

#include <windows.h>

constexpr int kRegistryPathDepth = 32; // most components a key path may have

// Keys opened along one key path: slot i holds the key of component i.
// It belongs to one read and is closed by it.
struct RegistryHandleTable {
    HKEY keys[kRegistryPathDepth];
};

// Opens `keyPath` (components separated by single backslashes) below `root`
// for querying, one component at a time, putting each key into the next slot
// of `table`. Returns the key of the last component, or nullptr when a
// component cannot be opened or the path is too long (more than 259
// characters or 32 components). Keys opened so far stay in `table`.
HKEY OpenRegistryPath(HKEY root, const char *keyPath, RegistryHandleTable *table);

// Reads `valueName` below `root`\`keyPath` into `dest` if its type is
// `expectedType`: REG_SZ fills exactly `limit` bytes (the text, then zeros;
// the last byte is always a terminator), REG_DWORD and REG_BINARY copy their
// first min(length, limit) bytes and touch nothing else. Values longer than
// 260 bytes are not read. Returns 1 on success; 0 leaves `dest` untouched.
// Every key opened on the way is closed before it returns.
int ReadRegistryValue(HKEY root, const char *keyPath, const char *valueName, void *dest,
                      DWORD expectedType, DWORD limit);
