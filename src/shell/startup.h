// Text and geometry rules of the shell's start-up, kept apart from the
// window code so they can be tested on their own.
#pragma once

#include <stddef.h>

// The argument part of a process command line: what follows the program name
// (quoted or not) and the blanks (characters up to code 32) after it. Trailing
// blanks and quotes of the arguments are kept.
const char *ArgumentsOf(const char *commandLine);

// The full path of the setup module: `sourceDir` joined with the command
// line (or "defsetup" when it is empty) and ".dll". Returns false, with an
// empty `dest`, when the name does not fit `size` or holds a backslash, a
// slash or a colon (a folder or drive of its own).
bool ModulePath(char *dest, size_t size, const char *sourceDir, const char *commandLine);

// The main window's caption: "KARVELO Setup [<title>] ".
// Returns false when it does not fit `size`.
bool BuildCaption(char *dest, size_t size, const char *title);

// True when a press at (x, y) in the main window's client area, taken as
// unsigned 16-bit values, lies in the cancel zone that is armed while the
// copy runs.
bool InCancelZone(unsigned short x, unsigned short y, int copyInProgress);

// What the switches in front of the module name ask for.
struct SetupSwitches {
    unsigned mode;    // SETUP_MODE_... of setupmodule.h
    char dir[260];    // /DIR=: the destination, a full path (FullFolderPath); empty when not given
    char log[260];    // /LOG=: the log file; empty when not given
    char module[260]; // the module's name as given; empty when not given
    bool moduleTooLong; // the module's name did not fit `module`
    char
        fromPackage[24]; // /FROMPACKAGE=: the package's mark handle, as given; empty when not given
    char problem[300];   // why the switches were refused
};

// Reads the switches of `arguments` (each starts with '/', is matched without
// regard to case and is followed by blanks): /SILENT, /VERYSILENT, /DIR=folder,
// /LOG=file and /FROMPACKAGE=handle (taken as given, proven later), a value in double quotes
// holding blanks (or the whole switch in quotes). The first text that is no switch is the module's
// name, exactly as given up to the blanks before the next switch; switches may come before and
// after it. Returns false, with `problem` naming the first fault, for an unknown switch, a
// malformed value, a folder that is not a complete path, or a word after the module's name that is
// no switch; every switch is still read, so `mode` holds the silence asked for anywhere on the
// line.
bool ReadSwitches(const char *arguments, SetupSwitches *switches);

// What the data file's [GENERAL] asks of the copy.
struct CopyDeclarations {
    int slots;         // the copy entries to take room for (kCopySlots without the key)
    int fast;          // cbFastCopy=1
    char problem[300]; // why the declaration cannot be followed; empty when it can
};

// Reads cbCopyEntries and cbFastCopy from the data file at `dataPath`.
// False, with `problem` set, when cbCopyEntries is not a number or is above
// the most setup takes.
bool ReadCopyDeclarations(const char *dataPath, CopyDeclarations *declarations);
