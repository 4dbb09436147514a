// The reader of a verb's command line: its plain arguments, --help, and each
// flag the verb's table lists, handed with its value to that verb's own
// reader; any other flag is refused. And the answer to a call that cannot
// be acted on: the usage line on stderr, exit 2.
#pragma once

#include "cli/verbs.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

// What a verb's command line said besides its flags.
struct VerbCall {
    std::vector<std::string> positional;
    bool help = false; // --help or -h came before anything refused
    std::string bad;   // why the call cannot be acted on; empty when it can
};

// Takes one of the verb's own flags with its value ("" for a switch); sets
// `bad` when the value cannot be taken.
using FlagTaker =
    std::function<void(const std::string &flag, const std::string &value, std::string *bad)>;

// Reads `count` arguments (those after the verb) for `verb`: stops at the
// first one refused, and checks the number of plain arguments unless help
// was asked for.
VerbCall ReadVerbCall(const Verb &verb, int count, char **arguments, const FlagTaker &take);

// -D NAME=VALUE into `defines`; `bad` when there is no '='.
void TakeDefine(const std::string &value, std::vector<std::pair<std::string, std::string>> *defines,
                std::string *bad);

// --codepage N; `bad` when kvlship does not know N.
void TakeCodePage(const std::string &value, int *codePage, std::string *bad);

// A call kvlship cannot act on: `why` (when given) and the verb's usage line
// (the overview's first line without a verb) on stderr. Returns 2.
int Usage(const Verb *verb, const std::string &why);

// What to do with a call that asked for help (the verb's help on stdout,
// 0) or cannot be acted on (Usage, 2); -1 for a call to act on.
int AnswerInstead(const Verb &verb, const VerbCall &call);
