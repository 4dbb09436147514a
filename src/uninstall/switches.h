// uninst.exe's command line.
#pragma once

#include <stddef.h>

struct UninstallSwitches {
    bool silent;          // /S or /VERYSILENT: ask nothing, show nothing
    char log[260];        // /LOG=: the log file; empty when not given
    char from[260];       // the product's folder, given to the temporary copy (/FROM=)
    char id[260];         // /ID=: the product whose record this is; empty when not given
    unsigned long parent; // with /HANDOFF=: the waiting program's process handle,
    unsigned long result; // and the pipe that takes the exit code, both inherited
    char problem[300];    // why the switches were refused
};

// The arguments of a command line: what follows the program's name (quoted
// or not) and the blanks after it.
const char *ArgumentsOf(const char *commandLine);

// Reads the switches (each starts with '/', matched without regard to case;
// a value with blanks in double quotes, or the whole switch quoted): /S,
// /VERYSILENT, /LOG=file, /ID=product, and the two the program in the product's folder
// gives its temporary copy, /FROM=folder and /HANDOFF=parent,pipe (handles in
// hex). Returns false, with `problem` naming it, for an unknown switch, a
// malformed value or anything that is not a switch; the other switches are
// still read, so that /S behind a bad one keeps the refusal silent.
bool ReadUninstallSwitches(const char *arguments, UninstallSwitches *switches);
