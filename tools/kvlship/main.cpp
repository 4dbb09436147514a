// kvlship: the vendor's tool for shipping a product with the setup engine.
//
//   kvlship new MANIFEST FOLDER [--engine DIR]  a starting manifest for the files in FOLDER
//   kvlship build MANIFEST OUT [-D NAME=VALUE]... [--engine DIR] [--jobs N] [--package NAME.exe]
//                [--sign CERT.pfx [--password-file FILE] [--timestamp URL]]
//                                      lays out the distribution folder OUT, its
//                                      programs signed with CERT.pfx when asked; with
//                                      --package also the single file NAME.exe beside it
//   kvlship check DIST [--dest DIR] [--module NAME] [--ca FILE] [--codepage N] [--json]
//                                      reads DIST as setup.exe will: the plan and
//                                      every problem, signatures verified against
//                                      the CA certificates of FILE when given;
//                                      exit 0 clean, 1 warnings, 2 errors
//   kvlship try DIST [--work DIR] [--module NAME] [--dest DIR] [--over OLD_DIST]
//               [--win64] [--timeout SECONDS] [--silent] [--json]
//                                      installs DIST under Wine on a private display
//                                      and judges what happened (Linux); --silent
//                                      runs setup.exe /VERYSILENT. DIST may also be
//                                      a package (--package), tried with its own files
//
// The engine's files (setup.exe, stock.dll, uninst.exe, kvlpack.exe, winlist.exe) are looked for
// beside kvlship unless --engine names their folder.
#include "build.h"
#include "check.h"
#include "codepage.h"
#include "hostfs.h"
#include "signing.h"
#include "tryrun.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace
{

int Usage()
{
    fputs("usage: kvlship new MANIFEST FOLDER [--engine DIR]\n"
          "       kvlship build MANIFEST OUT [-D NAME=VALUE]... [--engine DIR] [--jobs N] "
          "[--package NAME.exe]\n"
          "                     [--sign CERT.pfx [--password-file FILE] [--timestamp URL]]\n"
          "       kvlship check DIST [--dest DIR] [--module NAME] [--ca FILE] [--codepage N] "
          "[--json]\n"
          "       kvlship try DIST [--work DIR] [--module NAME] [--dest DIR] [--over OLD_DIST] "
          "[--win64] [--timeout SECONDS] [--engine DIR] [--silent] [--json]\n",
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
    bool bad = false;
};

Arguments Parse(int argc, char **argv, const char *own)
{
    Arguments args;
    args.engine = OwnFolder(own);
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--json")
            args.json = true;
        else if (arg == "--silent")
            args.silent = true;
        else if (arg == "--win64")
            args.win64 = true;
        else if (arg == "--over" && hasValue)
            args.over = argv[++i];
        else if (arg == "-D" && hasValue) {
            std::string define = argv[++i];
            size_t equals = define.find('=');
            if (equals == std::string::npos)
                args.bad = true;
            else
                args.defines.push_back({define.substr(0, equals), define.substr(equals + 1)});
        } else if (arg == "--engine" && hasValue)
            args.engine = argv[++i];
        else if (arg == "--dest" && hasValue)
            args.dest = argv[++i];
        else if (arg == "--module" && hasValue)
            args.module = argv[++i];
        else if (arg == "--work" && hasValue)
            args.work = argv[++i];
        else if (arg == "--sign" && hasValue)
            args.sign.certificate = argv[++i];
        else if (arg == "--password-file" && hasValue)
            args.sign.passwordFile = argv[++i];
        else if (arg == "--timestamp" && hasValue)
            args.sign.timestampUrl = argv[++i];
        else if (arg == "--ca" && hasValue)
            args.caFile = argv[++i];
        else if (arg == "--timeout" && hasValue)
            args.timeout = atoi(argv[++i]);
        else if (arg == "--package" && hasValue)
            args.package = argv[++i];
        else if (arg == "--jobs" && hasValue)
            args.jobs = atoi(argv[++i]);
        else if (arg == "--codepage" && hasValue) {
            args.codePage = atoi(argv[++i]);
            args.bad = args.bad || !KnownCodePage(args.codePage);
        } else if (arg.size() > 1 && arg[0] == '-')
            args.bad = true;
        else
            args.positional.push_back(arg);
    }
    // What signs goes with --sign: alone, it would quietly sign nothing.
    if (args.sign.certificate.empty() &&
        (!args.sign.passwordFile.empty() || !args.sign.timestampUrl.empty()))
        args.bad = true;
    return args;
}

int Check(const Arguments &args)
{
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

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return Usage();
    std::string command = argv[1];
    Arguments args = Parse(argc, argv, argv[0]);
    if (args.bad)
        return Usage();
    if (command == "new" && args.positional.size() == 2)
        return WriteNewManifest(args.positional[0], args.positional[1], args.engine);
    if (command == "build" && args.positional.size() == 2) {
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
    if (command == "check" && args.positional.size() == 1)
        return Check(args);
    if (command == "try" && args.positional.size() == 1) {
        TryOptions options;
        options.distribution = args.positional[0];
        options.work = args.work;
        options.module = args.module;
        options.engine = args.engine;
        options.destination = args.dest;
        options.older = args.over;
        options.timeoutSeconds = args.timeout;
        options.silent = args.silent;
        options.win64 = args.win64;
        options.json = args.json;
        return TryDistribution(options);
    }
    return Usage();
}
