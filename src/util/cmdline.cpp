#include "util/cmdline.h"

#include <string.h>

#include "util/text.h"

const char *ReadSwitchToken(const char *p, char *token, size_t size, bool *whole)
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

SwitchParts SplitSwitch(const char *token)
{
    SwitchParts parts;
    parts.name = token[0] ? token + 1 : token;
    const char *equals = strchr(parts.name, '=');
    parts.length = equals ? static_cast<size_t>(equals - parts.name) : strlen(parts.name);
    parts.value = equals ? equals + 1 : nullptr;
    return parts;
}

const char *ReadSwitch(const char *p, Switch *out)
{
    p = ReadSwitchToken(p, out->token, sizeof out->token, &out->whole);
    out->parts = SplitSwitch(out->token);
    return p;
}

bool IsSwitchNamed(const char *name, size_t length, const char *word)
{
    return strlen(word) == length && _strnicmp(name, word, length) == 0;
}

void NoteSwitchProblem(char *problem, size_t size, const char *why, const char *token)
{
    if (problem[0])
        return;
    char shown[64];
    size_t length = strlen(token);
    size_t cut = length < sizeof shown - 1 ? length : sizeof shown - 1;
    memcpy(shown, token, cut);
    shown[cut] = 0;
    if (CopyText(problem, size, why) < 0 || AppendText(problem, size, shown) < 0)
        CopyText(problem, size, "The command line cannot be read.");
}
