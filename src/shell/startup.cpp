#include "shell/startup.h"

#include "copy/copylist.h"
#include "setupcontrols.h"
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
    return CopyText(dest, size, SETUP_BOX_CAPTION " [") >= 0 &&
           AppendText(dest, size, title) >= 0 && AppendText(dest, size, "] ") >= 0;
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
    } else if (!value && IsSwitchNamed(name, length, "NODESKTOP")) {
        // Read here so that setup does not refuse it; the module acts on it.
        switches->mode = (switches->mode & ~SETUP_MODE_DESKTOP) | SETUP_MODE_NO_DESKTOP;
    } else if (!value && IsSwitchNamed(name, length, "DESKTOP")) {
        switches->mode = (switches->mode & ~SETUP_MODE_NO_DESKTOP) | SETUP_MODE_DESKTOP;
    } else if (!value && IsSwitchNamed(name, length, "NORESTART")) {
        // Setup never restarts the machine: a file in use is replaced at the
        // restart the user or the deployment chooses, and the exit code says so.
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
        // Only the package passes it; whether it holds is proven before use.
        CopyText(switches->fromPackage, sizeof switches->fromPackage, value);
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

bool ReadCopyDeclarations(const char *dataPath, CopyDeclarations *declarations)
{
    memset(declarations, 0, sizeof *declarations);
    declarations->slots = kCopySlots;
    // A mark no value can be tells an absent key from an empty one.
    char value[32];
    GetPrivateProfileStringA("GENERAL", SETUP_COPY_ENTRIES_KEY, "\x01", value, sizeof value,
                             dataPath);
    bool given = !(value[0] == 1 && value[1] == 0);
    int slots = DeclaredCopySlots(given ? value : nullptr);
    if (slots < 0) {
        CopyText(declarations->problem,
                 "The data file's " SETUP_COPY_ENTRIES_KEY " is not a number from 0 to 65536: ");
        AppendText(declarations->problem, value);
        return false;
    }
    declarations->slots = slots;
    declarations->fast =
        GetPrivateProfileIntA("GENERAL", SETUP_FAST_COPY_KEY, 0, dataPath) == 1 ? 1 : 0;
    return true;
}
