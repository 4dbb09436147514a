#include "shell/startup.h"

#include "util/paths.h"
#include "util/text.h"

#include <string.h>

const char *ArgumentsOf(const char *commandLine)
{
    const char *p = commandLine;
    if (*p == '"') {
        ++p;
        while (*p && *p != '"')
            ++p;
        if (*p == '"')
            ++p;
    } else {
        while (static_cast<unsigned char>(*p) > ' ')
            ++p;
    }
    while (*p && static_cast<unsigned char>(*p) <= ' ')
        ++p;
    return p;
}

bool ModulePath(char *dest, size_t size, const char *sourceDir, const char *commandLine)
{
    char name[kPathSize];
    // The module comes from our own folder and nowhere else: a name with a
    // folder or a drive in it would load a library from elsewhere.
    if (strpbrk(commandLine, "\\/:") ||
        CopyText(name, commandLine[0] ? commandLine : "defsetup") < 0 ||
        AppendText(name, ".dll") < 0) {
        if (size)
            dest[0] = 0;
        return false;
    }
    return JoinPath(dest, size, sourceDir, name) != nullptr;
}

bool BuildCaption(char *dest, size_t size, const char *title)
{
    return CopyText(dest, size, "KARVELO Setup [") >= 0 && AppendText(dest, size, title) >= 0 &&
           AppendText(dest, size, "] ") >= 0;
}

bool InCancelZone(unsigned short x, unsigned short y, int copyInProgress)
{
    return x > 540 && y > 410 && copyInProgress == 1;
}
