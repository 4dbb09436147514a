// The switches of a command line (setup.exe's and uninst.exe's): /NAME or
// /NAME=value, matched without regard to case, a value with blanks quoted
// (/DIR="C:\My Folder") or the whole switch quoted ("/DIR=C:\My Folder").
#pragma once

#include <stddef.h>

// The text at `p` up to the first blank outside double quotes, with the
// quotes taken out, into `token` of `size` bytes. Returns the position after
// it, and `whole` false when a quote is left open or the token does not fit.
const char *ReadSwitchToken(const char *p, char *token, size_t size, bool *whole);

// A switch token taken apart: the name after its first character (the '/'),
// `length` characters long, and the value after the first '=' (nullptr
// without one). An empty token gives an empty name.
struct SwitchParts {
    const char *name;
    size_t length;
    const char *value;
};
SwitchParts SplitSwitch(const char *token);

// One switch at `p`, read (ReadSwitchToken) and taken apart (SplitSwitch).
struct Switch {
    char token[600];
    bool whole;
    SwitchParts parts;
};
const char *ReadSwitch(const char *p, Switch *out);

// True when the `length` characters at `name` are `word`, in any case.
bool IsSwitchNamed(const char *name, size_t length, const char *word);

// Keeps the first problem of a command line in `problem` (`size` bytes):
// `why` followed by the switch, at most 63 characters of it.
void NoteSwitchProblem(char *problem, size_t size, const char *why, const char *token);
