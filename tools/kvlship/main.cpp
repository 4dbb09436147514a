// kvlship: the vendor's tool for shipping a product with the setup engine.
// `kvlship --help` lists the verbs (new, build, check, try) and
// `kvlship VERB --help` describes one; cli/verbs.cpp holds what each takes
// and cli/verbflags.cpp reads each verb's flags.
//
// The engine's files (setup.exe, stock.dll, uninst.exe, kvlpack.exe, winlist.exe) are looked for
// beside kvlship unless --engine names their folder.
#include "cli/arguments.h"
#include "cli/verbflags.h"
#include "common/hostfs.h"
#include "formats/unpack.h"
#include "stock/settings.h"

#include <stdio.h>
#include <string.h>

#ifndef KVL_ENGINE_VERSION
#define KVL_ENGINE_VERSION "unknown"
#endif

namespace
{

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

// Each verb once its flags are read: what its arguments must be, then the verb.
int RunNew(const NewOptions &options)
{
    if (RefusedKind(options.folder, true, false, "a folder of the product's files"))
        return 2;
    return WriteNewManifest(options.manifest, options.folder, options.engine);
}

int RunBuild(const BuildOptions &options)
{
    if (RefusedKind(options.manifest, false, true, "a manifest file"))
        return 2;
    return BuildDistribution(options);
}

int RunCheck(const CheckCall &check)
{
    if (RefusedKind(check.options.distribution, true, false, "a distribution folder"))
        return 2;
    CheckResult result;
    CheckDistribution(check.options, &result);
    PrintCheck(result, check.json);
    return CheckStatus(result);
}

int RunTry(const TryOptions &options)
{
    const std::string &distribution = options.distribution;
    // A file is tried only when it is a package kvlship made.
    if (RefusedKind(distribution, true, true, "a distribution folder or a package") ||
        (KindOf(distribution) == PathKind::File && !IsPackageFile(distribution) &&
         RefusedKind(distribution, true, false,
                     "a distribution folder or a package kvlship made")) ||
        (!options.older.empty() &&
         RefusedKind(options.older, true, false, "an older version's distribution folder")))
        return 2;
    return TryDistribution(options);
}

// The arguments after the verb's name.
struct VerbArguments {
    int count;
    char **values;
    std::string ownFolder;
};

// Reads the verb's own flags; then its help, its usage line or the verb.
template <typename Options>
int Dispatch(const Verb &verb, const VerbArguments &given,
             VerbCall (*read)(int, char **, const std::string &, Options *),
             int (*run)(const Options &))
{
    Options options;
    int answered = AnswerInstead(verb, read(given.count, given.values, given.ownFolder, &options));
    return answered >= 0 ? answered : run(options);
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
    VerbArguments given{argc - 2, argv + 2, OwnFolder(argv[0])};
    if (command == "new")
        return Dispatch(*verb, given, ReadNewCall, RunNew);
    if (command == "build")
        return Dispatch(*verb, given, ReadBuildCall, RunBuild);
    if (command == "check")
        return Dispatch(*verb, given, ReadCheckCall, RunCheck);
    return Dispatch(*verb, given, ReadTryCall, RunTry);
}
