#include "util/registry.h"

#include "util/paths.h"
#include "util/text.h"

#include <string.h>

namespace
{

constexpr DWORD kValueSize = 260;

void CloseRegistryTable(RegistryHandleTable *table)
{
    for (HKEY &key : table->keys) {
        if (key) {
            RegCloseKey(key);
            key = nullptr;
        }
    }
}

} // namespace

HKEY OpenRegistryPath(HKEY root, const char *keyPath, RegistryHandleTable *table)
{
    char rest[kPathSize];
    if (CopyText(rest, keyPath) < 0)
        return nullptr;
    HKEY parent = root;
    char *component = rest;
    for (int slot = 0; slot < kRegistryPathDepth; ++slot) {
        char *slash = strchr(component, '\\');
        if (slash)
            *slash = 0;
        if (RegOpenKeyExA(parent, component, 0, KEY_QUERY_VALUE, &table->keys[slot]) !=
            ERROR_SUCCESS) {
            table->keys[slot] = nullptr;
            return nullptr;
        }
        if (!slash)
            return table->keys[slot];
        parent = table->keys[slot];
        component = slash + 1;
    }
    return nullptr; // more components than the table holds
}

int ReadRegistryValue(HKEY root, const char *keyPath, const char *valueName, void *dest,
                      DWORD expectedType, DWORD limit)
{
    RegistryHandleTable table = {};
    HKEY key = OpenRegistryPath(root, keyPath, &table);
    if (!key) {
        CloseRegistryTable(&table);
        return 0;
    }
    // One spare zero byte behind the value, so a REG_SZ stored without its
    // terminator still ends inside the buffer.
    BYTE value[kValueSize + 1] = {};
    DWORD type = 0;
    DWORD length = kValueSize;
    LONG status = RegQueryValueExA(key, valueName, nullptr, &type, value, &length);
    CloseRegistryTable(&table);
    if (status != ERROR_SUCCESS || type != expectedType || !dest)
        return 0;

    BYTE *out = static_cast<BYTE *>(dest);
    if (type == REG_SZ) {
        if (limit == 0)
            return 1;
        DWORD i = 0;
        for (; i < limit && i < length && value[i]; ++i)
            out[i] = value[i];
        for (; i < limit; ++i)
            out[i] = 0;
        out[limit - 1] = 0;
    } else if (type == REG_DWORD || type == REG_BINARY) {
        DWORD count = length < limit ? length : limit;
        memcpy(out, value, count);
    }
    return 1;
}
