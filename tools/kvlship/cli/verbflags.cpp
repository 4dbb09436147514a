// Each verb's flags into its own options; see verbflags.h.
#include "cli/verbflags.h"

#include <stdlib.h>

#include <vector>

namespace
{

// Where one of a verb's flags puts its value: a text as it is, a number
// (read as atoi reads it) or a switch turned on.
struct FlagTarget {
    const char *flag;
    std::string *text;
    int *number;
    bool *set;
};

FlagTarget Text(const char *flag, std::string *text)
{
    return {flag, text, nullptr, nullptr};
}

FlagTarget Number(const char *flag, int *number)
{
    return {flag, nullptr, number, nullptr};
}

FlagTarget Switch(const char *flag, bool *set)
{
    return {flag, nullptr, nullptr, set};
}

// Reads the call of the verb `name`: each flag into its target, and a flag
// with none (one whose value is checked or split) to `special`.
VerbCall ReadInto(const char *name, int count, char **arguments,
                  const std::vector<FlagTarget> &targets, const FlagTaker &special = nullptr)
{
    auto take = [&](const std::string &flag, const std::string &value, std::string *bad) {
        for (const FlagTarget &target : targets) {
            if (flag != target.flag)
                continue;
            if (target.text)
                *target.text = value;
            else if (target.number)
                *target.number = atoi(value.c_str());
            else
                *target.set = true;
            return;
        }
        if (special)
            special(flag, value, bad);
    };
    return ReadVerbCall(*FindVerb(name), count, arguments, take);
}

bool Actable(const VerbCall &call)
{
    return call.bad.empty() && !call.help;
}

} // namespace

VerbCall ReadNewCall(int count, char **arguments, const std::string &ownFolder, NewOptions *options)
{
    options->engine = ownFolder;
    VerbCall call = ReadInto("new", count, arguments, {Text("--engine", &options->engine)});
    if (Actable(call)) {
        options->manifest = call.positional[0];
        options->folder = call.positional[1];
    }
    return call;
}

VerbCall ReadBuildCall(int count, char **arguments, const std::string &ownFolder,
                       BuildOptions *options)
{
    options->engine = ownFolder;
    SignOptions &sign = options->sign;
    VerbCall call = ReadInto(
        "build", count, arguments,
        {Text("--engine", &options->engine), Number("--jobs", &options->jobs),
         Text("--package", &options->package), Text("--sign", &sign.certificate),
         Text("--password-file", &sign.passwordFile), Text("--timestamp", &sign.timestampUrl)},
        [&](const std::string &, const std::string &value, std::string *bad) {
            TakeDefine(value, &options->defines, bad); // -D
        });
    // What signs goes with --sign: alone, it would quietly sign nothing.
    if (Actable(call) && sign.certificate.empty() &&
        (!sign.passwordFile.empty() || !sign.timestampUrl.empty()))
        call.bad = "--password-file and --timestamp go with --sign";
    if (Actable(call)) {
        options->manifest = call.positional[0];
        options->out = call.positional[1];
    }
    return call;
}

VerbCall ReadCheckCall(int count, char **arguments, const std::string &, CheckCall *check)
{
    CheckOptions *options = &check->options;
    VerbCall call =
        ReadInto("check", count, arguments,
                 {Text("--dest", &options->destination), Text("--ca", &options->caFile),
                  Switch("--json", &check->json)},
                 [&](const std::string &flag, const std::string &value, std::string *bad) {
                     if (flag == "--codepage")
                         TakeCodePage(value, &options->codePage, bad);
                     else // --module; an empty one leaves setup.exe's own
                         options->module = value.empty() ? CheckOptions().module : value;
                 });
    if (Actable(call))
        options->distribution = call.positional[0];
    return call;
}

VerbCall ReadTryCall(int count, char **arguments, const std::string &ownFolder, TryOptions *options)
{
    options->engine = ownFolder;
    VerbCall call =
        ReadInto("try", count, arguments,
                 {Text("--work", &options->work), Switch("--keep", &options->keep),
                  Text("--module", &options->module), Text("--dest", &options->destination),
                  Text("--over", &options->older), Switch("--win64", &options->win64),
                  Number("--timeout", &options->timeoutSeconds), Text("--engine", &options->engine),
                  Switch("--silent", &options->silent), Switch("--json", &options->json)});
    if (Actable(call))
        options->distribution = call.positional[0];
    return call;
}
