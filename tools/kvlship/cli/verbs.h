// What each verb of kvlship takes: its arguments, its flags, what it does
// and one example. The one table the help texts and the argument readers
// are made from, so that a flag cannot be read without being described.
#pragma once

#include "common/hostfs.h"

#include <string>

struct VerbFlag {
    const char *name;    // "--dest", "-D"
    const char *value;   // what follows it ("DIR"); nullptr for a switch
    const char *meaning; // one line for the help
};

struct Verb {
    const char *name;      // "check"
    const char *arguments; // "DIST"
    int argumentCount;     // how many plain arguments it takes
    const char *summary;   // one line for the overview
    const VerbFlag *flags; // ends with a null name
    const char *details;   // what the arguments are and what it does, lines of text
    const char *example;
};

// The verb called `name`, or nullptr.
const Verb *FindVerb(const std::string &name);

// The flag `name` of `verb`, or nullptr when it is not one of its own.
const VerbFlag *FindFlag(const Verb &verb, const std::string &name);

// "usage: kvlship check DIST [--dest DIR] ... [--json]"
std::string UsageLine(const Verb &verb);

// kvlship VERB --help: the usage line, what it does, each flag, the example.
std::string VerbHelp(const Verb &verb);

// kvlship --help: what kvlship is, each verb in a line, where to read on.
std::string Overview();

// True for --help, -h and help.
bool AsksForHelp(const std::string &argument);

// What `path` is when it is not what the verb wants, in a sentence ("X is a
// file, not a distribution folder"); empty when `kind` is one of those
// wanted. `wanted` names what is (or the choices are) wanted.
std::string WrongKind(const std::string &path, PathKind kind, bool folderWanted, bool fileWanted,
                      const char *wanted);
