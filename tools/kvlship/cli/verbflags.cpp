// Each verb's flags into its own options; see verbflags.h.
#include "cli/verbflags.h"

#include <stdlib.h>

namespace
{

bool Actable(const VerbCall &call)
{
    return call.bad.empty() && !call.help;
}

} // namespace

VerbCall ReadNewCall(int count, char **arguments, const std::string &ownFolder, NewOptions *options)
{
    options->engine = ownFolder;
    VerbCall call = ReadVerbCall(*FindVerb("new"), count, arguments,
                                 [&](const std::string &, const std::string &value, std::string *) {
                                     options->engine = value;
                                 });
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
    auto take = [&](const std::string &flag, const std::string &value, std::string *bad) {
        if (flag == "-D")
            TakeDefine(value, &options->defines, bad);
        else if (flag == "--engine")
            options->engine = value;
        else if (flag == "--jobs")
            options->jobs = atoi(value.c_str());
        else if (flag == "--package")
            options->package = value;
        else if (flag == "--sign")
            options->sign.certificate = value;
        else if (flag == "--password-file")
            options->sign.passwordFile = value;
        else if (flag == "--timestamp")
            options->sign.timestampUrl = value;
    };
    VerbCall call = ReadVerbCall(*FindVerb("build"), count, arguments, take);
    // What signs goes with --sign: alone, it would quietly sign nothing.
    const SignOptions &sign = options->sign;
    if (Actable(call) && sign.certificate.empty() &&
        (!sign.passwordFile.empty() || !sign.timestampUrl.empty()))
        call.bad = "--password-file and --timestamp go with --sign";
    if (Actable(call)) {
        options->manifest = call.positional[0];
        options->out = call.positional[1];
    }
    return call;
}

VerbCall ReadCheckCall(int count, char **arguments, CheckOptions *options, bool *json)
{
    *json = false;
    auto take = [&](const std::string &flag, const std::string &value, std::string *bad) {
        if (flag == "--dest")
            options->destination = value;
        else if (flag == "--module") // an empty one leaves setup.exe's own
            options->module = value.empty() ? CheckOptions().module : value;
        else if (flag == "--ca")
            options->caFile = value;
        else if (flag == "--codepage")
            TakeCodePage(value, &options->codePage, bad);
        else if (flag == "--json")
            *json = true;
    };
    VerbCall call = ReadVerbCall(*FindVerb("check"), count, arguments, take);
    if (Actable(call))
        options->distribution = call.positional[0];
    return call;
}

VerbCall ReadTryCall(int count, char **arguments, const std::string &ownFolder, TryOptions *options)
{
    options->engine = ownFolder;
    auto take = [&](const std::string &flag, const std::string &value, std::string *) {
        if (flag == "--work")
            options->work = value;
        else if (flag == "--keep")
            options->keep = true;
        else if (flag == "--module")
            options->module = value;
        else if (flag == "--dest")
            options->destination = value;
        else if (flag == "--over")
            options->older = value;
        else if (flag == "--win64")
            options->win64 = true;
        else if (flag == "--timeout")
            options->timeoutSeconds = atoi(value.c_str());
        else if (flag == "--engine")
            options->engine = value;
        else if (flag == "--silent")
            options->silent = true;
        else if (flag == "--json")
            options->json = true;
    };
    VerbCall call = ReadVerbCall(*FindVerb("try"), count, arguments, take);
    if (Actable(call))
        options->distribution = call.positional[0];
    return call;
}
