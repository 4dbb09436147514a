// Reads a verb's command line by the verbs' table; see arguments.h.
#include "cli/arguments.h"

#include "common/codepage.h"

#include <stdio.h>
#include <stdlib.h>

VerbCall ReadVerbCall(const Verb &verb, int count, char **arguments, const FlagTaker &take)
{
    VerbCall call;
    for (int i = 0; i < count && call.bad.empty(); ++i) {
        std::string arg = arguments[i];
        if (arg == "--help" || arg == "-h") {
            call.help = true;
            continue;
        }
        if (arg.size() < 2 || arg[0] != '-') {
            call.positional.push_back(arg);
            continue;
        }
        const VerbFlag *flag = FindFlag(verb, arg);
        if (!flag)
            call.bad = arg + " is not a flag of kvlship " + verb.name;
        else if (flag->value && i + 1 >= count)
            call.bad = arg + " wants " + flag->value + " after it";
        else
            take(arg, flag->value ? arguments[++i] : "", &call.bad);
    }
    if (call.bad.empty() && !call.help &&
        static_cast<int>(call.positional.size()) != verb.argumentCount)
        call.bad = std::string("kvlship ") + verb.name + " takes " + verb.arguments;
    return call;
}

void TakeDefine(const std::string &value, std::vector<std::pair<std::string, std::string>> *defines,
                std::string *bad)
{
    size_t equals = value.find('=');
    if (equals == std::string::npos)
        *bad = "-D " + value + ": NAME=VALUE is wanted";
    else
        defines->push_back({value.substr(0, equals), value.substr(equals + 1)});
}

void TakeCodePage(const std::string &value, int *codePage, std::string *bad)
{
    *codePage = atoi(value.c_str());
    if (!KnownCodePage(*codePage))
        *bad = "--codepage " + value + ": not a code page kvlship knows";
}

int Usage(const Verb *verb, const std::string &why)
{
    if (!why.empty())
        fprintf(stderr, "kvlship: %s\n", why.c_str());
    if (verb)
        fprintf(stderr, "%s\n(kvlship %s --help tells more)\n", UsageLine(*verb).c_str(),
                verb->name);
    else
        fputs("usage: kvlship VERB ARGUMENTS... [FLAGS] (kvlship --help lists the verbs)\n",
              stderr);
    return 2;
}

int AnswerInstead(const Verb &verb, const VerbCall &call)
{
    if (call.help) {
        fputs(VerbHelp(verb).c_str(), stdout);
        return 0;
    }
    if (!call.bad.empty())
        return Usage(&verb, call.bad);
    return -1;
}
