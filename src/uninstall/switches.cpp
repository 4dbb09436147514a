#include "uninstall/switches.h"

#include <string.h>

#include "util/cmdline.h"
#include "util/paths.h"
#include "util/text.h"

namespace
{

bool IsBlank(char c)
{
    return c && static_cast<unsigned char>(c) <= ' ';
}

bool ReadHandle(const char *text, unsigned long *value)
{
    *value = 0;
    if (!*text)
        return false;
    for (int digits = 0; *text; ++text, ++digits) {
        char c = *text;
        int digit = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
        if (digit < 0 || digits >= 8)
            return false;
        *value = (*value << 4) | static_cast<unsigned long>(digit);
    }
    return true;
}

bool ReadHandoff(const char *value, UninstallSwitches *switches)
{
    char handles[32];
    if (CopyText(handles, value) < 0)
        return false;
    char *comma = strchr(handles, ',');
    if (!comma)
        return false;
    *comma = 0;
    return ReadHandle(handles, &switches->parent) && ReadHandle(comma + 1, &switches->result) &&
           switches->parent && switches->result;
}

} // namespace

const char *ArgumentsOf(const char *commandLine)
{
    const char *p = commandLine;
    bool quoted = false;
    for (; *p && (quoted || !IsBlank(*p)); ++p) {
        if (*p == '"')
            quoted = !quoted;
    }
    while (IsBlank(*p))
        ++p;
    return p;
}

bool ReadUninstallSwitches(const char *arguments, UninstallSwitches *switches)
{
    memset(switches, 0, sizeof *switches);
    const char *p = arguments;
    while (*p) {
        Switch read;
        p = ReadSwitch(p, &read);
        const char *token = read.token;
        bool whole = read.whole;
        const char *name = read.parts.name;
        size_t length = read.parts.length;
        const char *value = read.parts.value;
        if (!whole || token[0] != '/') {
            NoteSwitchProblem(
                switches->problem, sizeof switches->problem,
                whole ? "Not a switch: " : "A switch is cut short or too long: ", token);
        } else if (!value && (IsSwitchNamed(name, length, "S") ||
                              IsSwitchNamed(name, length, "VERYSILENT"))) {
            switches->silent = true;
        } else if (value && IsSwitchNamed(name, length, "LOG")) {
            if (!value[0] || CopyText(switches->log, value) < 0)
                NoteSwitchProblem(switches->problem, sizeof switches->problem,
                                  "This log file name cannot be used: ", token);
        } else if (value && IsSwitchNamed(name, length, "ID")) {
            if (!value[0] || CopyText(switches->id, value) < 0)
                NoteSwitchProblem(switches->problem, sizeof switches->problem,
                                  "This product id cannot be used: ", token);
        } else if (value && IsSwitchNamed(name, length, "FROM")) {
            if (!IsAbsolutePath(value) || CopyText(switches->from, value) < 0)
                NoteSwitchProblem(switches->problem, sizeof switches->problem,
                                  "This folder is not a complete path: ", token);
        } else if (value && IsSwitchNamed(name, length, "HANDOFF")) {
            if (!ReadHandoff(value, switches))
                NoteSwitchProblem(switches->problem, sizeof switches->problem,
                                  "A malformed value: ", token);
        } else {
            NoteSwitchProblem(switches->problem, sizeof switches->problem,
                              "Unknown switch: ", token);
        }
        while (IsBlank(*p))
            ++p;
    }
    return switches->problem[0] == 0;
}
