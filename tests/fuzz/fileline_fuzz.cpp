// The data file's script lines: parse any text; an accepted line must name a
// sub-folder that stays below the destination and a usable last character,
// and the names it makes must fit their fields.
// fuzz-sources: src/copy/fileline.cpp src/util/text.cpp src/util/paths.cpp
// fuzz-sources: src/util/devicename.cpp
#include "copy/filelist.h"
#include "util/paths.h"

#include <stdint.h>
#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    char text[400];
    if (size >= sizeof text)
        size = sizeof text - 1;
    memcpy(text, data, size);
    text[size] = 0;

    FileListLine line;
    memset(&line, 0x5A, sizeof line);
    if (!ParseFileListLine(text, &line)) {
        // A rejected line leaves the caller's record as it was.
        if (line.pattern[0] != 0x5A || line.toWindowsFolder != 0x5A5A5A5A)
            __builtin_trap();
        return 0;
    }
    if (memchr(line.pattern, 0, sizeof line.pattern) == nullptr ||
        memchr(line.subFolder, 0, sizeof line.subFolder) == nullptr)
        __builtin_trap();
    if (!StaysBelow(line.subFolder) || strchr(line.subFolder, ' '))
        __builtin_trap();
    if (line.lastChar &&
        (strchr("*?<>\"|\\/:", line.lastChar) || (line.lastChar > 0 && line.lastChar < ' ')))
        __builtin_trap();
    const int flags[] = {line.toWindowsFolder, line.spareFlag1, line.overwrite, line.spareFlag2};
    for (int flag : flags) {
        if (flag != 0 && flag != 1)
            __builtin_trap();
    }
    char dest[kFileListTextSize];
    if (ReplaceLastChar(dest, sizeof dest, line.pattern, line.lastChar) &&
        strlen(dest) > strlen(line.pattern))
        __builtin_trap();
    return 0;
}
