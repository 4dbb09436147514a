// The verbs' table: what each takes, and the help texts made from it.
#include "cli/verbs.h"

#include <string.h>

namespace
{

const VerbFlag kNewFlags[] = {
    {"--engine", "DIR",
     "the engine whose limit the list is held to (setup.exe); default: kvlship's own"},
    {nullptr, nullptr, nullptr},
};

const VerbFlag kBuildFlags[] = {
    {"-D", "NAME=VALUE", "sets ${NAME} in the manifest (repeatable)"},
    {"--engine", "DIR", "the engine's folder (setup.exe, stock.dll, ...); default: kvlship's own"},
    {"--jobs", "N", "compresses N files at a time; default: one per processor"},
    {"--package", "NAME.exe", "also writes the single-file package NAME.exe beside OUT"},
    {"--sign", "CERT.pfx", "signs the programs (and the package) with this certificate"},
    {"--password-file", "FILE", "the certificate's password, first line of FILE (with --sign)"},
    {"--timestamp", "URL", "countersigns at this time-stamping server (with --sign)"},
    {nullptr, nullptr, nullptr},
};

const VerbFlag kCheckFlags[] = {
    {"--dest", "DIR", "plans for this destination (as setup.exe /DIR=DIR) instead of the default"},
    {"--module", "NAME",
     "the module setup.exe is started with (setup.exe NAME); default: defsetup"},
    {"--ca", "FILE", "verifies signatures against the CA certificates in FILE"},
    {"--codepage", "N", "reads names in Windows code page N; default: as build wrote it, or 1252"},
    {"--json", nullptr, "prints the plan and the problems as JSON"},
    {nullptr, nullptr, nullptr},
};

const VerbFlag kTryFlags[] = {
    {"--work", "DIR",
     "keeps the trial's copy, screenshots and logs in DIR; default: kvlship-try "
     "beside DIST"},
    {"--keep", nullptr, "keeps the trial's own copy of the Wine prefix when the trial ends"},
    {"--module", "NAME", "starts setup.exe NAME, as check's --module"},
    {"--dest", "DIR", "starts setup.exe /DIR=DIR (a complete path on C:)"},
    {"--over", "OLD_DIST", "installs OLD_DIST first: the trial is an upgrade"},
    {"--win64", nullptr, "tries in a 64-bit prefix (the 32-bit Program Files view)"},
    {"--timeout", "SECONDS", "gives up after SECONDS; default: 300"},
    {"--engine", "DIR", "the engine's folder (winlist.exe); default: kvlship's own"},
    {"--silent", nullptr, "runs setup.exe /VERYSILENT"},
    {"--json", nullptr, "prints the report as JSON"},
    {nullptr, nullptr, nullptr},
};

const Verb kVerbs[] = {
    {"new", "MANIFEST FOLDER", 2, "writes a starting manifest for the files in FOLDER", kNewFlags,
     "  MANIFEST  the manifest to write (it must not exist yet)\n"
     "  FOLDER    the folder holding the product's files, as they are to be installed\n"
     "The manifest lists every file of FOLDER under [files] and the stock module's\n"
     "settings with their defaults, each explained; edit it, then build it.\n",
     "kvlship new tidewatch.manifest product/"},
    {"build", "MANIFEST OUT", 2, "lays out the distribution folder (and the package)", kBuildFlags,
     "  MANIFEST  the product's manifest (see docs/manifest.md)\n"
     "  OUT       the distribution folder to write: setup.exe, the module, the data file,\n"
     "            the compressed files; what an earlier build wrote there is replaced\n",
     "kvlship build tidewatch.manifest dist --package TidewatchSetup.exe --sign vendor.pfx "
     "--password-file pass.txt"},
    {"check", "DIST", 1, "reads a distribution folder as setup.exe will", kCheckFlags,
     "  DIST      a distribution folder (as build writes it)\n"
     "Prints where each file goes and every problem; exit 0 clean, 1 warnings only,\n"
     "2 errors.\n",
     "kvlship check dist"},
    {"try", "DIST", 1, "installs and removes under Wine, and judges what happened", kTryFlags,
     "  DIST      a distribution folder, or a single-file package build wrote\n"
     "Runs setup.exe on a private display in a Wine prefix of its own, answers its\n"
     "dialogs, compares what landed with check's plan and removes the product again.\n"
     "Each trial copies the Wine prefix kept for this Wine and removes its copy at\n"
     "the end (--keep keeps it). Linux only; exit 0 when the trial passed, 2\n"
     "otherwise.\n",
     "kvlship try TidewatchSetup.exe"},
};

constexpr int kVerbCount = static_cast<int>(sizeof kVerbs / sizeof kVerbs[0]);

std::string FlagUsage(const VerbFlag &flag)
{
    return std::string("[") + flag.name + (flag.value ? std::string(" ") + flag.value : "") + "]";
}

const char *KindText(PathKind kind)
{
    switch (kind) {
    case PathKind::File:
        return "a file";
    case PathKind::Folder:
        return "a folder";
    case PathKind::Link:
        return "a symbolic link";
    case PathKind::Special:
        return "a device, FIFO or socket";
    case PathKind::Missing:
        break;
    }
    return "missing";
}

} // namespace

const Verb *FindVerb(const std::string &name)
{
    for (const Verb &verb : kVerbs) {
        if (name == verb.name)
            return &verb;
    }
    return nullptr;
}

const VerbFlag *FindFlag(const Verb &verb, const std::string &name)
{
    for (const VerbFlag *flag = verb.flags; flag->name; ++flag) {
        if (name == flag->name)
            return flag;
    }
    return nullptr;
}

std::string UsageLine(const Verb &verb)
{
    std::string line = std::string("usage: kvlship ") + verb.name + " " + verb.arguments;
    for (const VerbFlag *flag = verb.flags; flag->name; ++flag)
        line += " " + FlagUsage(*flag);
    return line;
}

std::string VerbHelp(const Verb &verb)
{
    std::string text =
        UsageLine(verb) + "\n\nkvlship " + verb.name + " " + verb.summary + ".\n\n" + verb.details;
    if (verb.flags->name) {
        text += "\nFlags:\n";
        for (const VerbFlag *flag = verb.flags; flag->name; ++flag) {
            std::string name = std::string(flag->name) + (flag->value ? " " : "") +
                               (flag->value ? flag->value : "");
            text += "  " + name + std::string(name.size() < 24 ? 24 - name.size() : 1, ' ') +
                    flag->meaning + "\n";
        }
    }
    return text + "\nExample:\n  " + verb.example + "\n";
}

std::string Overview()
{
    std::string text = "kvlship: ships a product with the KARVELO setup engine.\n\n"
                       "usage: kvlship VERB ARGUMENTS... [FLAGS]\n\n";
    for (int i = 0; i < kVerbCount; ++i) {
        std::string call = std::string(kVerbs[i].name) + " " + kVerbs[i].arguments;
        text += "  " + call + std::string(call.size() < 21 ? 21 - call.size() : 1, ' ') +
                kVerbs[i].summary + "\n";
    }
    return text + "\n  kvlship VERB --help   that verb's arguments, flags and an example\n"
                  "  kvlship --version     the engine's version\n\n"
                  "A new product: new, then build --package, check and try.\n";
}

bool AsksForHelp(const std::string &argument)
{
    return argument == "--help" || argument == "-h" || argument == "help";
}

std::string WrongKind(const std::string &path, PathKind kind, bool folderWanted, bool fileWanted,
                      const char *wanted)
{
    if ((kind == PathKind::Folder && folderWanted) || (kind == PathKind::File && fileWanted))
        return std::string();
    if (kind == PathKind::Missing)
        return path + " does not exist: " + wanted + " is wanted";
    return path + " is " + KindText(kind) + ", not " + wanted;
}
