// kvlship: the vendor's tool for shipping a product with the setup engine.
// `kvlship --help` lists the verbs (new, build, check, try) and
// `kvlship VERB --help` describes one; verbs.cpp holds what each takes.
//
// The engine's files (setup.exe, stock.dll, uninst.exe, kvlpack.exe, winlist.exe) are looked for
// beside kvlship unless --engine names their folder.
#include "build/build.h"
#include "check/check.h"
#include "cli/verbs.h"
#include "common/codepage.h"
#include "common/hostfs.h"
#include "formats/signing.h"
#include "formats/unpack.h"
#include "stock/settings.h"
#include "trial/tryverb.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifndef KVL_ENGINE_VERSION
#define KVL_ENGINE_VERSION "unknown"
#endif

namespace
{

// A call kvlship cannot act on: the verb's usage line (or the overview's
// first line) on stderr, exit 2.
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

struct Arguments {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> defines;
    std::string engine, dest, module, work, over, package;
    SignOptions sign;
    std::string caFile;
    int timeout = 300;
    int jobs = 0;
    int codePage = 0;
    bool json = false;
    bool silent = false;
    bool win64 = false;
    bool keep = false;
    bool help = false;
    std::string bad; // why the call cannot be acted on; empty when it can
};

// Takes the value of one flag into `args`.
void TakeFlag(const std::string &flag, const std::string &value, Arguments *args)
{
    if (flag == "--json")
        args->json = true;
    else if (flag == "--silent")
        args->silent = true;
    else if (flag == "--win64")
        args->win64 = true;
    else if (flag == "--keep")
        args->keep = true;
    else if (flag == "--over")
        args->over = value;
    else if (flag == "-D") {
        size_t equals = value.find('=');
        if (equals == std::string::npos)
            args->bad = "-D " + value + ": NAME=VALUE is wanted";
        else
            args->defines.push_back({value.substr(0, equals), value.substr(equals + 1)});
    } else if (flag == "--engine")
        args->engine = value;
    else if (flag == "--dest")
        args->dest = value;
    else if (flag == "--module")
        args->module = value;
    else if (flag == "--work")
        args->work = value;
    else if (flag == "--sign")
        args->sign.certificate = value;
    else if (flag == "--password-file")
        args->sign.passwordFile = value;
    else if (flag == "--timestamp")
        args->sign.timestampUrl = value;
    else if (flag == "--ca")
        args->caFile = value;
    else if (flag == "--timeout")
        args->timeout = atoi(value.c_str());
    else if (flag == "--package")
        args->package = value;
    else if (flag == "--jobs")
        args->jobs = atoi(value.c_str());
    else if (flag == "--codepage") {
        args->codePage = atoi(value.c_str());
        if (!KnownCodePage(args->codePage))
            args->bad = "--codepage " + value + ": not a code page kvlship knows";
    }
}

// The arguments after the verb, each flag only when it is the verb's own.
Arguments Parse(const Verb &verb, int argc, char **argv, const char *own)
{
    Arguments args;
    args.engine = OwnFolder(own);
    for (int i = 2; i < argc && args.bad.empty(); ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            args.help = true;
            continue;
        }
        if (arg.size() < 2 || arg[0] != '-') {
            args.positional.push_back(arg);
            continue;
        }
        const VerbFlag *flag = FindFlag(verb, arg);
        if (!flag)
            args.bad = arg + " is not a flag of kvlship " + verb.name;
        else if (flag->value && i + 1 >= argc)
            args.bad = arg + " wants " + flag->value + " after it";
        else
            TakeFlag(arg, flag->value ? argv[++i] : "", &args);
    }
    if (args.bad.empty() && !args.help &&
        static_cast<int>(args.positional.size()) != verb.argumentCount)
        args.bad = std::string("kvlship ") + verb.name + " takes " + verb.arguments;
    // What signs goes with --sign: alone, it would quietly sign nothing.
    if (args.bad.empty() && args.sign.certificate.empty() &&
        (!args.sign.passwordFile.empty() || !args.sign.timestampUrl.empty()))
        args.bad = "--password-file and --timestamp go with --sign";
    return args;
}

// An argument that is not the kind of thing the verb wants, named as what
// it is; nothing is done with it.
bool RefusedKind(const std::string &path, bool folderWanted, bool fileWanted, const char *wanted)
{
    std::string why = WrongKind(path, KindOf(path), folderWanted, fileWanted, wanted);
    if (why.empty())
        return false;
    fprintf(stderr, "kvlship: %s\n", why.c_str());
    return true;
}

int RunNew(const Arguments &args)
{
    if (RefusedKind(args.positional[1], true, false, "a folder of the product's files"))
        return 2;
    return WriteNewManifest(args.positional[0], args.positional[1], args.engine);
}

int RunBuild(const Arguments &args)
{
    if (RefusedKind(args.positional[0], false, true, "a manifest file"))
        return 2;
    BuildOptions options;
    options.manifest = args.positional[0];
    options.out = args.positional[1];
    options.engine = args.engine;
    options.defines = args.defines;
    options.jobs = args.jobs;
    options.sign = args.sign;
    options.package = args.package;
    return BuildDistribution(options);
}

int RunCheck(const Arguments &args)
{
    if (RefusedKind(args.positional[0], true, false, "a distribution folder"))
        return 2;
    CheckOptions options;
    options.distribution = args.positional[0];
    options.destination = args.dest;
    options.codePage = args.codePage;
    if (!args.module.empty())
        options.module = args.module;
    options.caFile = args.caFile;
    CheckResult result;
    CheckDistribution(options, &result);
    PrintCheck(result, args.json);
    return CheckStatus(result);
}

int RunTry(const Arguments &args)
{
    const std::string &distribution = args.positional[0];
    // A file is tried only when it is a package kvlship made.
    if (RefusedKind(distribution, true, true, "a distribution folder or a package") ||
        (KindOf(distribution) == PathKind::File && !IsPackageFile(distribution) &&
         RefusedKind(distribution, true, false,
                     "a distribution folder or a package kvlship made")) ||
        (!args.over.empty() &&
         RefusedKind(args.over, true, false, "an older version's distribution folder")))
        return 2;
    TryOptions options;
    options.distribution = distribution;
    options.work = args.work;
    options.module = args.module;
    options.engine = args.engine;
    options.destination = args.dest;
    options.older = args.over;
    options.timeoutSeconds = args.timeout;
    options.silent = args.silent;
    options.win64 = args.win64;
    options.json = args.json;
    options.keep = args.keep;
    return TryDistribution(options);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return Usage(nullptr, "");
    std::string command = argv[1];
    if (AsksForHelp(command)) {
        const Verb *asked = argc > 2 ? FindVerb(argv[2]) : nullptr;
        if (argc > 2 && !asked)
            return Usage(nullptr, std::string(argv[2]) + " is not a verb of kvlship");
        fputs(asked ? VerbHelp(*asked).c_str() : Overview().c_str(), stdout);
        return 0;
    }
    if (command == "--version") {
        printf("kvlship %s (KARVELO setup engine %s)\n", KVL_ENGINE_VERSION, KVL_ENGINE_VERSION);
        return 0;
    }
    // Not in the help: what the reference in docs/ must describe, for its test.
    if (command == "keys" && argc == 2) {
        PrintManifestKeys();
        for (const stock::StockKey *key = stock::kStockKeys; key->section; ++key)
            printf("stock %s %s\n", key->section, key->key);
        return 0;
    }
    const Verb *verb = FindVerb(command);
    if (!verb)
        return Usage(nullptr, command + " is not a verb of kvlship");
    Arguments args = Parse(*verb, argc, argv, argv[0]);
    if (args.help) {
        fputs(VerbHelp(*verb).c_str(), stdout);
        return 0;
    }
    if (!args.bad.empty())
        return Usage(verb, args.bad);
    if (command == "new")
        return RunNew(args);
    if (command == "build")
        return RunBuild(args);
    if (command == "check")
        return RunCheck(args);
    return RunTry(args);
}
