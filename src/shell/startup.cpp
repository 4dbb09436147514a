#include "shell/startup.h"

#include "setupdist.h"
#include "setupmodule.h"
#include "util/cmdline.h"
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
        CopyText(name, commandLine[0] ? commandLine : SETUP_DEFAULT_MODULE) < 0 ||
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

// A switch's value: everything after its '=', not empty and fitting `size`.
bool TakeValue(const char *value, char *dest, size_t size)
{
    return value[0] && CopyText(dest, size, value) >= 0;
}

// True when the argument at `p` is a switch: it starts with '/', quoted or not.
bool StartsSwitch(const char *p)
{
    return p[0] == '/' || (p[0] == '"' && p[1] == '/');
}

} // namespace

namespace
{

const char *SkipBlanks(const char *p)
{
    while (*p && static_cast<unsigned char>(*p) <= ' ')
        ++p;
    return p;
}

// Reads the switch at `p` into `switches`, noting what is wrong with it.
// Returns the position after it and the blanks behind it.
const char *TakeSwitch(const char *p, SetupSwitches *switches)
{
    Switch read;
    p = ReadSwitch(p, &read);
    const char *token = read.token;
    const char *name = read.parts.name;
    size_t length = read.parts.length;
    const char *value = read.parts.value;
    if (!read.whole) {
        NoteSwitchProblem(switches->problem, sizeof switches->problem,
                          "A switch is cut short or too long: ", token);
    } else if (!value && IsSwitchNamed(name, length, "SILENT")) {
        switches->mode |= SETUP_MODE_SILENT;
    } else if (!value && IsSwitchNamed(name, length, "VERYSILENT")) {
        switches->mode |= SETUP_MODE_VERYSILENT;
    } else if (value && IsSwitchNamed(name, length, "DIR")) {
        // One full folder, written as the system resolves it: the folder the
        // files land in and the one recorded for their removal are the same.
        // A relative folder would land below wherever setup was started.
        if (FullFolderPath(switches->dir, value))
            switches->mode |= SETUP_MODE_DIR_CHOSEN;
        else
            NoteSwitchProblem(switches->problem, sizeof switches->problem,
                              "This folder is not a complete, valid path: ", token);
    } else if (value && IsSwitchNamed(name, length, "LOG")) {
        if (TakeValue(value, switches->log, sizeof switches->log))
            switches->mode |= SETUP_MODE_LOGGING;
        else
            NoteSwitchProblem(switches->problem, sizeof switches->problem,
                              "This log file name cannot be used: ", token);
    } else if (value && IsSwitchNamed(name, length, "FROMPACKAGE")) {
        // The package's stub names the handle of its folder's mark: accepted,
        // so that a package runs this setup; nothing is made of it yet.
    } else {
        NoteSwitchProblem(switches->problem, sizeof switches->problem, "Unknown switch: ", token);
    }
    return SkipBlanks(p);
}

// Where the module's name at `p` ends: at the blanks before the next switch,
// or at the end of the line (its trailing blanks kept, as before switches).
const char *ModuleEnd(const char *p)
{
    for (; *p; ++p) {
        const char *next = SkipBlanks(p);
        if (next != p && StartsSwitch(next))
            return p;
    }
    return p;
}

} // namespace

bool ReadSwitches(const char *arguments, SetupSwitches *switches)
{
    memset(switches, 0, sizeof *switches);
    const char *p = arguments;
    bool moduleRead = false;
    // Past a bad switch or word the others are still read: a /VERYSILENT
    // anywhere on the line must keep the refusal from waiting for a person.
    while (*p) {
        if (StartsSwitch(p)) {
            p = TakeSwitch(p, switches);
        } else if (!moduleRead) {
            // Switches may follow the module's name too.
            moduleRead = true;
            const char *end = ModuleEnd(p);
            size_t length = static_cast<size_t>(end - p);
            if (length < sizeof switches->module)
                memcpy(switches->module, p, length);
            else
                switches->moduleTooLong = true;
            p = SkipBlanks(end);
        } else {
            Switch read;
            const char *next = ReadSwitch(p, &read);
            NoteSwitchProblem(switches->problem, sizeof switches->problem,
                              "Only switches may follow the module's name: ", read.token);
            p = SkipBlanks(next);
        }
    }
    if (!(switches->mode & SETUP_MODE_DIR_CHOSEN))
        switches->dir[0] = 0;
    if (!(switches->mode & SETUP_MODE_LOGGING))
        switches->log[0] = 0;
    return switches->problem[0] == 0;
}
