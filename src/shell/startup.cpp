#include "shell/startup.h"

#include "setupmodule.h"
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

namespace
{

bool SameWord(const char *text, size_t length, const char *word)
{
    return strlen(word) == length && _strnicmp(text, word, length) == 0;
}

// The text at `p` up to the first blank outside double quotes, with the
// quotes taken out, into `token` of `size` bytes: /DIR="C:\My Folder" and
// "/DIR=C:\My Folder" both give /DIR=C:\My Folder. Returns the position after
// it, and `whole` false when a quote is left open or the token does not fit.
const char *ReadToken(const char *p, char *token, size_t size, bool *whole)
{
    bool quoted = false;
    size_t length = 0;
    *whole = true;
    for (; *p && (quoted || static_cast<unsigned char>(*p) > ' '); ++p) {
        if (*p == '"') {
            quoted = !quoted;
            continue;
        }
        if (length + 1 >= size)
            *whole = false;
        else
            token[length++] = *p;
    }
    token[length] = 0;
    if (quoted)
        *whole = false;
    return p;
}

// A switch's value: everything after its '=', not empty and fitting `size`.
bool TakeValue(const char *value, char *dest, size_t size)
{
    return value[0] && CopyText(dest, size, value) >= 0;
}

// Notes the first problem, naming the switch (its first 63 characters).
void Refuse(SetupSwitches *switches, const char *text, const char *token)
{
    if (switches->problem[0])
        return;
    char shown[64];
    size_t length = strlen(token);
    size_t cut = length < sizeof shown - 1 ? length : sizeof shown - 1;
    memcpy(shown, token, cut);
    shown[cut] = 0;
    if (CopyText(switches->problem, text) < 0 || AppendText(switches->problem, shown) < 0)
        CopyText(switches->problem, "The command line cannot be read.");
}

// True when the argument at `p` is a switch: it starts with '/', quoted or not.
bool StartsSwitch(const char *p)
{
    return p[0] == '/' || (p[0] == '"' && p[1] == '/');
}

} // namespace

bool ReadSwitches(const char *arguments, SetupSwitches *switches)
{
    memset(switches, 0, sizeof *switches);
    const char *p = arguments;
    // Past a bad switch the others are still read: a /VERYSILENT behind it
    // must keep the refusal from waiting for a person.
    while (StartsSwitch(p)) {
        char token[600];
        bool whole = false;
        p = ReadToken(p, token, sizeof token, &whole);
        char *value = strchr(token, '=');
        size_t length = value ? static_cast<size_t>(value - token) - 1 : strlen(token) - 1;
        const char *name = token + 1;
        if (value)
            ++value;
        if (!whole) {
            Refuse(switches, "A switch is cut short or too long: ", token);
        } else if (!value && SameWord(name, length, "SILENT")) {
            switches->mode |= SETUP_MODE_SILENT;
        } else if (!value && SameWord(name, length, "VERYSILENT")) {
            switches->mode |= SETUP_MODE_VERYSILENT;
        } else if (value && SameWord(name, length, "DIR")) {
            // A relative folder would land below wherever setup was started.
            if (TakeValue(value, switches->dir, sizeof switches->dir) &&
                IsAbsolutePath(switches->dir))
                switches->mode |= SETUP_MODE_DIR_CHOSEN;
            else
                Refuse(switches, "This folder is not a complete path: ", token);
        } else if (value && SameWord(name, length, "LOG")) {
            if (TakeValue(value, switches->log, sizeof switches->log))
                switches->mode |= SETUP_MODE_LOGGING;
            else
                Refuse(switches, "This log file name cannot be used: ", token);
        } else {
            Refuse(switches, "Unknown switch: ", token);
        }
        while (*p && static_cast<unsigned char>(*p) <= ' ')
            ++p;
    }
    switches->module = p;
    if (!(switches->mode & SETUP_MODE_DIR_CHOSEN))
        switches->dir[0] = 0;
    if (!(switches->mode & SETUP_MODE_LOGGING))
        switches->log[0] = 0;
    return switches->problem[0] == 0;
}
