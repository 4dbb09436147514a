// kvlship try: the plan, the trial, the verdict and the report (see tryverb.h).
#include "trial/tryverb.h"

#include "check/check.h"
#include "common/codepage.h"
#include "common/hostfs.h"
#include "common/profile.h"
#include "common/textout.h"
#include "formats/unpack.h"
#include "stock/settings.h"
#include "trial/judge.h"
#include "trial/trial.h"
#include "trial/verdict.h"

#include <signal.h>
#include <stdio.h>

#include <chrono>
#include <filesystem>

#include <unistd.h>

namespace
{

namespace fs = std::filesystem;

std::string Mebibytes(long long bytes)
{
    char text[32];
    snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

// The plan `check` makes of `distribution` for `destination` (empty: the default).
CheckResult Plan(const std::string &distribution, const std::string &module,
                 const std::string &destination)
{
    CheckOptions options;
    options.distribution = distribution;
    options.destination = destination;
    if (!module.empty())
        options.module = module;
    CheckResult plan;
    CheckDistribution(options, &plan);
    return plan;
}

// The plan for the default destination: on 64-bit Windows a 32-bit setup's
// Program Files is "Program Files (x86)".
CheckResult DefaultPlan(const TryOptions &options, const std::string &distribution)
{
    CheckResult plan = Plan(distribution, options.module, options.destination);
    if (options.win64 && options.destination.empty() && !plan.destination64.empty())
        plan = Plan(distribution, options.module, plan.destination64);
    return plan;
}

// The data file as the stock module reads it; empty when there is none.
Profile DataFile(const std::string &distribution)
{
    std::string text;
    ReadWholeFile(JoinHost(distribution, kDataFileName), &text, false, 16 << 20);
    Profile data;
    ParseProfile(text, &data);
    return data;
}

// Judges the drive for the destination setup took: with --dest, the one
// given (a different one is a fault); without, the one setup's log names,
// which a module may have chosen for itself. Every planned file, [GROUP]
// shortcut and [INI] setting must be in place; an upgrade notes what the
// older version installed that this one no longer ships.
void JudgeRun(const TryOptions &options, const CheckResult &plan, const DriveLook &look,
              TrialResult *trial)
{
    Judgement judgement;
    std::string destination = plan.destination;
    if (!options.destination.empty()) {
        if (!trial->destination.empty() &&
            !SameWindowsPath(trial->destination, options.destination))
            judgement.faults.push_back("setup installed into " + AnsiToUtf8(trial->destination) +
                                       ", not into " + options.destination + " (--dest)");
    } else if (!trial->destination.empty()) {
        destination = trial->destination;
        if (!SameWindowsPath(destination, plan.destination))
            judgement.notes.push_back("the module chose the destination " +
                                      AnsiToUtf8(destination) +
                                      " (setup's log); the plan's "
                                      "default is " +
                                      AnsiToUtf8(plan.destination));
    }
    CheckResult actual = SameWindowsPath(destination, plan.destination)
                             ? plan
                             : Plan(options.distribution, options.module, destination);
    JudgeFiles(actual, look, &judgement);
    Profile data = DataFile(options.distribution);
    std::string where = AnsiToUtf8(destination);
    // The stock module's rule: all users' Start menu unless cbFor=user, when
    // setup runs as an administrator, which it asks to and which Wine grants.
    bool known = false;
    std::string groupFor = ReadProfileValue(data, "GROUP", "cbFor", stock::kStockLineSize);
    if (stock::ParseGroupFor(groupFor.c_str(), &known) != stock::StockGroupFor::User &&
        !trial->commonProgramsFolder.empty())
        trial->programsFolder = trial->commonProgramsFolder;
    if (trial->programsFolder.empty() && FindSection(data, "GROUP"))
        judgement.faults.push_back("the Start menu's Programs folder of the trial prefix could "
                                   "not be read: the [GROUP] shortcuts were not looked for");
    else
        JudgeShortcuts(StockShortcuts(data, where, trial->programsFolder), look, &judgement);
    JudgeSettings(StockSettings(data, where), look, &judgement);
    if (!options.older.empty()) {
        CheckResult older = trial->olderDestination.empty()
                                ? DefaultPlan(options, options.older)
                                : Plan(options.older, options.module, trial->olderDestination);
        NoteNoLongerShipped(older, actual, look, &judgement);
    }
    trial->faults.insert(trial->faults.end(), judgement.faults.begin(), judgement.faults.end());
    trial->notes.insert(trial->notes.end(), judgement.notes.begin(), judgement.notes.end());
}

// Text from the run (paths, window texts, command lines) is the distribution's:
// printed with its control characters escaped.
void PrintText(const TrialResult &trial, const TrialVerdict &verdict)
{
    const std::vector<std::string> &faults = verdict.faults;
    auto shown = [](const std::string &text) { return Printable(text); };
    printf("Installed files:\n");
    for (const TrialFile &file : trial.installed)
        printf("  %-60s %10lld\n", shown(file.windowsPath).c_str(), file.size);
    printf("Shortcuts:\n");
    for (const TrialShortcut &link : trial.shortcuts) {
        printf("  %s\n    target %s\n    arguments %s\n    working folder %s\n    description %s\n",
               shown(link.windowsPath).c_str(), shown(link.target).c_str(),
               shown(link.arguments).c_str(), shown(link.workingFolder).c_str(),
               shown(link.description).c_str());
    }
    if (trial.demoCommand.empty())
        printf("Demonstration: none started\n");
    else
        printf("Demonstration: %s\n  in %s\n", shown(trial.demoCommand).c_str(),
               shown(trial.demoFolder).c_str());
    for (const std::string &program : trial.otherPrograms)
        printf("Started by the module: %s\n", shown(program).c_str());
    for (const TrialBox &box : trial.boxes)
        printf("Box \"%s\": %s (answered %s)\n", shown(box.caption).c_str(),
               shown(box.text).c_str(),
               box.answer.empty() ? "by closing it" : shown(box.answer).c_str());
    printf("Screenshots:\n");
    for (const std::string &shot : trial.screenshots)
        printf("  %s\n", shown(shot).c_str());
    if (!trial.logPath.empty()) {
        printf("Setup's log (%s):\n", shown(trial.logPath).c_str());
        for (const std::string &line : trial.log)
            printf("  %s\n", shown(AnsiToUtf8(line)).c_str());
    }
    if (!trial.olderLogPath.empty() || trial.olderExitCode != -1)
        printf("The older version (--over): exit code %d, installed into %s (log %s)\n",
               trial.olderExitCode, shown(AnsiToUtf8(trial.olderDestination)).c_str(),
               shown(trial.olderLogPath).c_str());
    printf("Destination: %s%s\n",
           trial.destination.empty() ? "not known (setup's log names none)"
                                     : shown(AnsiToUtf8(trial.destination)).c_str(),
           trial.win64 ? " (a 64-bit prefix: the 32-bit view)" : "");
    printf("Setup's exit code: %s\n", ExitText(trial).c_str());
    if (trial.uninstallTried && trial.uninstallCommands.empty())
        printf("Removal: the setup registered none under Add/Remove Programs\n");
    for (size_t i = 0; i < trial.uninstallCommands.size(); ++i)
        printf("Removal: %s\n  ended with exit code %d\n",
               shown(trial.uninstallCommands[i]).c_str(), trial.uninstallExitCodes[i]);
    for (const std::string &left : trial.leftBehind)
        printf("  left behind: %s\n", shown(left).c_str());
    for (const std::string &note : trial.notes)
        printf("note: %s\n", shown(note).c_str());
    if (!trial.keptPrefix.empty())
        printf("Kept for the next trial: the Wine prefix in %s (%s)\n",
               shown(trial.keptPrefix).c_str(), Mebibytes(trial.keptPrefixBytes).c_str());
    if (!trial.prefixCopy.empty())
        printf("This trial's copy of it: %s (%s)%s\n", shown(trial.prefixCopy).c_str(),
               Mebibytes(trial.prefixCopyBytes).c_str(),
               trial.prefixCopyKept ? ", kept (--keep)" : ", removed");
    for (const std::string &warning : verdict.warnings)
        printf("warning: %s\n", warning.c_str());
    for (const std::string &fault : faults)
        printf("fault: %s\n", shown(fault).c_str());
    if (verdict.passed)
        printf("PASSED: setup exited with code %s; every planned file, shortcut and setting is "
               "in place in %s.\n",
               ExitText(trial).c_str(), shown(AnsiToUtf8(trial.destination)).c_str());
    else
        printf("FAILED: %s\n", !trial.problems.Empty() ? shown(TrialProblem(trial)).c_str()
                               : !faults.empty()       ? shown(faults[0]).c_str()
                                                       : "see above");
}

void PrintJson(const TrialResult &trial, const TrialVerdict &verdict, bool silent)
{
    const std::vector<std::string> &faults = verdict.faults;
    printf("{\"passed\": %s, \"problem\": %s, \"exitCode\": %d, \"exitMeaning\": %s, "
           "\"silent\": %s, \"win64\": %s, \"destination\": %s, \"programsFolder\": %s, "
           "\"olderExitCode\": %d, \"olderDestination\": %s, \"olderLog\": %s, "
           "\"agreed\": %s, \"copied\": %s, \"timedOut\": %s, \"log\": %s, "
           "\"keptPrefix\": %s, \"keptPrefixBytes\": %lld, \"prefixCopy\": %s, "
           "\"prefixCopyBytes\": %lld, \"prefixCopyKept\": %s, \"logLines\": [",
           verdict.passed ? "true" : "false", JsonString(TrialProblem(trial)).c_str(),
           trial.exitCode, JsonString(ExitMeaning(trial)).c_str(), silent ? "true" : "false",
           trial.win64 ? "true" : "false", JsonString(AnsiToUtf8(trial.destination)).c_str(),
           JsonString(AnsiToUtf8(trial.programsFolder)).c_str(), trial.olderExitCode,
           JsonString(AnsiToUtf8(trial.olderDestination)).c_str(),
           JsonString(trial.olderLogPath).c_str(), trial.agreed ? "true" : "false",
           trial.copied ? "true" : "false", trial.timedOut ? "true" : "false",
           JsonString(trial.logPath).c_str(), JsonString(trial.keptPrefix).c_str(),
           trial.keptPrefixBytes, JsonString(trial.prefixCopy).c_str(), trial.prefixCopyBytes,
           trial.prefixCopyKept ? "true" : "false");
    for (size_t i = 0; i < trial.log.size(); ++i)
        printf("%s%s", i ? ", " : "", JsonString(AnsiToUtf8(trial.log[i])).c_str());
    printf("], \"installed\": [");
    for (size_t i = 0; i < trial.installed.size(); ++i)
        printf("%s{\"path\": %s, \"host\": %s, \"size\": %lld}", i ? ", " : "",
               JsonString(trial.installed[i].windowsPath).c_str(),
               JsonString(trial.installed[i].hostPath).c_str(), trial.installed[i].size);
    printf("], \"shortcuts\": [");
    for (size_t i = 0; i < trial.shortcuts.size(); ++i) {
        const TrialShortcut &link = trial.shortcuts[i];
        printf("%s{\"path\": %s, \"target\": %s, \"arguments\": %s, \"workingFolder\": %s, "
               "\"description\": %s}",
               i ? ", " : "", JsonString(link.windowsPath).c_str(), JsonString(link.target).c_str(),
               JsonString(link.arguments).c_str(), JsonString(link.workingFolder).c_str(),
               JsonString(link.description).c_str());
    }
    printf("], \"demoCommand\": %s, \"demoFolder\": %s, \"otherPrograms\": [",
           JsonString(trial.demoCommand).c_str(), JsonString(trial.demoFolder).c_str());
    printf("%s", JsonItems(trial.otherPrograms).c_str());
    printf("], \"hostPrograms\": [%s", JsonItems(trial.hostPrograms).c_str());
    printf("], \"boxes\": [");
    for (size_t i = 0; i < trial.boxes.size(); ++i)
        printf("%s{\"caption\": %s, \"text\": %s, \"answer\": %s, \"error\": %s}", i ? ", " : "",
               JsonString(trial.boxes[i].caption).c_str(), JsonString(trial.boxes[i].text).c_str(),
               JsonString(trial.boxes[i].answer).c_str(), trial.boxes[i].error ? "true" : "false");
    printf("], \"screenshots\": [%s", JsonItems(trial.screenshots).c_str());
    printf("], \"uninstall\": [");
    for (size_t i = 0; i < trial.uninstallCommands.size(); ++i)
        printf("%s{\"command\": %s, \"exitCode\": %d}", i ? ", " : "",
               JsonString(trial.uninstallCommands[i]).c_str(), trial.uninstallExitCodes[i]);
    printf("], \"leftBehind\": [%s", JsonItems(trial.leftBehind).c_str());
    printf("], \"faults\": [%s", JsonItems(faults).c_str());
    printf("], \"notes\": [%s", JsonItems(trial.notes).c_str());
    printf("], \"warnings\": [%s", JsonItems(verdict.warnings).c_str());
    printf("]}\n");
}

// A folder of its own for a package's files, below the host's temporary
// folder; empty when none can be made.
std::string PackageFolder()
{
    std::error_code error;
    fs::path base = fs::temp_directory_path(error);
    for (int attempt = 0; !error && attempt < 100; ++attempt) {
        fs::path folder =
            base / ("kvlship-package-" + std::to_string(getpid()) + "-" + std::to_string(attempt));
        if (fs::create_directory(folder, error))
            return folder.string();
    }
    return std::string();
}

int TryFolder(const TryOptions &options, const std::string &workBeside);

} // namespace

int TryDistribution(const TryOptions &options)
{
    if (!IsPackageFile(options.distribution))
        return TryFolder(options, options.distribution);
    // A single-file package is tried as the stub lays it out: its own files,
    // checked whole, under the names setup looks up.
    TryOptions unpacked = options;
    unpacked.distribution = PackageFolder();
    std::string why = "no folder for its files can be made";
    if (unpacked.distribution.empty() ||
        !UnpackPackage(options.distribution, unpacked.distribution, &why)) {
        fprintf(stderr, "kvlship: %s: %s\n", options.distribution.c_str(), why.c_str());
        if (!unpacked.distribution.empty()) {
            std::error_code ignored;
            fs::remove_all(unpacked.distribution, ignored);
        }
        return 2;
    }
    fprintf(stderr, "kvlship: %s is a package; its files are tried from %s\n",
            options.distribution.c_str(), unpacked.distribution.c_str());
    int status = TryFolder(unpacked, options.distribution);
    std::error_code ignored;
    fs::remove_all(unpacked.distribution, ignored);
    return status;
}

namespace
{

// The trial of a distribution folder; its work folder by default beside
// `workBeside` (the folder, or the package it came from).
int TryFolder(const TryOptions &options, const std::string &workBeside)
{
    // The time limit covers the whole run, the check included.
    auto started = std::chrono::steady_clock::now();
    CheckResult plan = DefaultPlan(options, options.distribution);
    double checkSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    TrialOptions trialOptions;
    trialOptions.distribution = options.distribution;
    trialOptions.work =
        options.work.empty() ? JoinHost(HostFolderOf(workBeside), "kvlship-try") : options.work;
    trialOptions.winlist = JoinHost(options.engine, "winlist.exe");
    trialOptions.arguments = options.module;
    trialOptions.silent = options.silent;
    trialOptions.destination = options.destination;
    trialOptions.older = options.older;
    trialOptions.win64 = options.win64;
    trialOptions.keep = options.keep;
    trialOptions.timeoutSeconds = options.timeoutSeconds - static_cast<int>(checkSeconds);
    trialOptions.judge = [&](const DriveLook &look, TrialResult *result) {
        JudgeRun(options, plan, look, result);
    };
    TrialResult trial;
    if (trialOptions.timeoutSeconds > 0) {
        RunTrial(trialOptions, &trial);
    } else {
        trial.timedOut = true;
        trial.problems.Error("time", "the check alone took the whole time limit");
    }

    TrialVerdict verdict = JudgeTrial(trial, options.silent);
    if (options.json)
        PrintJson(trial, verdict, options.silent);
    else
        PrintText(trial, verdict);
    fflush(stdout);
    // Stopped by a signal, kvlship ends by it too, once everything is cleaned up.
    if (trial.stopSignal) {
        signal(trial.stopSignal, SIG_DFL);
        raise(trial.stopSignal);
    }
    return verdict.passed ? 0 : 2;
}

} // namespace
