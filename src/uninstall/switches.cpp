#include "uninstall/switches.h"

#include <string.h>

#include "util/paths.h"
#include "util/text.h"

namespace
{

bool IsBlank(char c)
{
    return c && static_cast<unsigned char>(c) <= ' ';
}

// One token up to a blank outside quotes, its quotes taken out. `whole` is
// false when it did not fit `size`.
const char *ReadToken(const char *p, char *token, size_t size, bool *whole)
{
    size_t used = 0;
    bool quoted = false;
    *whole = true;
    for (; *p && (quoted || !IsBlank(*p)); ++p) {
        if (*p == '"') {
            quoted = !quoted;
            continue;
        }
        if (used + 1 >= size) {
            *whole = false;
            continue;
        }
        token[used++] = *p;
    }
    token[used] = 0;
    *whole = *whole && !quoted;
    return p;
}

bool SameWord(const char *name, size_t length, const char *word)
{
    return length == strlen(word) && _strnicmp(name, word, length) == 0;
}

void Refuse(UninstallSwitches *switches, const char *why, const char *token)
{
    if (switches->problem[0])
        return;
    if (CopyText(switches->problem, why) >= 0)
        AppendText(switches->problem, token);
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

bool ReadHandoff(char *value, UninstallSwitches *switches)
{
    char *comma = strchr(value, ',');
    if (!comma)
        return false;
    *comma = 0;
    return ReadHandle(value, &switches->parent) && ReadHandle(comma + 1, &switches->result) &&
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
        char token[600];
        bool whole = false;
        p = ReadToken(p, token, sizeof token, &whole);
        char *value = strchr(token, '=');
        size_t length = value ? static_cast<size_t>(value - token) - 1 : strlen(token) - 1;
        const char *name = token + 1;
        if (value)
            ++value;
        if (!whole || token[0] != '/') {
            Refuse(switches,
                   whole ? "Not a switch: " : "A switch is cut short or too long: ", token);
        } else if (!value &&
                   (SameWord(name, length, "S") || SameWord(name, length, "VERYSILENT"))) {
            switches->silent = true;
        } else if (value && SameWord(name, length, "LOG")) {
            if (!value[0] || CopyText(switches->log, value) < 0)
                Refuse(switches, "This log file name cannot be used: ", token);
        } else if (value && SameWord(name, length, "FROM")) {
            if (!IsAbsolutePath(value) || CopyText(switches->from, value) < 0)
                Refuse(switches, "This folder is not a complete path: ", token);
        } else if (value && SameWord(name, length, "HANDOFF")) {
            if (!ReadHandoff(value, switches))
                Refuse(switches, "A malformed value: ", token);
        } else {
            Refuse(switches, "Unknown switch: ", token);
        }
        while (IsBlank(*p))
            ++p;
    }
    return switches->problem[0] == 0;
}
