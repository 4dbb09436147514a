// Whether a trial passed (see verdict.h).
#include "trial/verdict.h"

#include "setupexit.h"

namespace
{

// Said in every report: a trial is a run of the vendor's code, not a reading of it.
constexpr char kRanCode[] =
    "try ran the distribution's own code (setup.exe and its module) under Wine, in a prefix "
    "without host drives; Wine confines no program, so try only what you would run anyway";

// Said once when the setup registered no product for removal: no fault, a
// product may choose so, but the vendor should know and how to change it.
constexpr char kNotRemovable[] =
    "the product cannot be removed: the setup registered no removal under Add/Remove Programs. "
    "To make it removable, call the registration kit's RegisterProduct (setupkit.h) "
    "from the module's EndSetup and ship uninst.exe, or install with the stock module";

// Said when setup ended installed but for files in use: no fault, Windows
// finishes the installation as it starts again.
constexpr char kRestartNeeded[] =
    "setup.exe asks for a restart (exit code 3010): the installation is complete once Windows "
    "restarts and replaces the files that were in use";

// Setup must say it completed, start no host program, and leave everything
// the judgement looked for in place.
std::vector<std::string> RunFaults(const TrialResult &trial)
{
    std::vector<std::string> faults;
    if (trial.exitCode != -1 && !SetupInstalled(trial.exitCode))
        faults.push_back("setup.exe ended with exit code " + ExitText(trial));
    for (const std::string &program : trial.hostPrograms)
        faults.push_back("a Windows program of the run started the host program \"" + program +
                         "\", which no installation does; the trial ended it");
    faults.insert(faults.end(), trial.faults.begin(), trial.faults.end());
    return faults;
}

} // namespace

bool SetupInstalled(int exitCode)
{
    return exitCode == SETUP_EXIT_COMPLETE || exitCode == SETUP_EXIT_RESTART;
}

std::string ExitMeaning(const TrialResult &trial)
{
    if (!trial.started)
        return "setup.exe was not started";
    return trial.exitCode == -1 ? "setup.exe did not end by itself"
                                : SetupExitMeaning(trial.exitCode);
}

std::string ExitText(const TrialResult &trial)
{
    return (trial.exitCode == -1 ? std::string("none") : std::to_string(trial.exitCode)) + ", " +
           ExitMeaning(trial);
}

TrialVerdict JudgeTrial(const TrialResult &trial, bool silent)
{
    TrialVerdict verdict;
    if (trial.started)
        verdict.faults = RunFaults(trial);
    // A clean removal is part of a good installation.
    for (size_t i = 0; i < trial.uninstallCommands.size(); ++i) {
        if (trial.uninstallExitCodes[i] != 0)
            verdict.faults.push_back("the removal " + trial.uninstallCommands[i] +
                                     " ended with exit code " +
                                     std::to_string(trial.uninstallExitCodes[i]));
    }
    for (const std::string &left : trial.leftBehind)
        verdict.faults.push_back("the removal left " + left + " behind");
    bool shellError = false;
    for (const TrialBox &box : trial.boxes)
        shellError = shellError || box.error;
    // A silent setup shows no agreement and no stage to see: its exit code
    // and the files on disk judge it.
    verdict.passed = trial.started && !trial.timedOut && SetupInstalled(trial.exitCode) &&
                     (silent || (trial.agreed && trial.copied)) && !shellError &&
                     verdict.faults.empty() && trial.problems.Empty();
    // Nothing of the distribution ran when the trial could not start it.
    if (trial.started)
        verdict.warnings.push_back(kRanCode);
    if (trial.registeredNone)
        verdict.warnings.push_back(kNotRemovable);
    if (trial.started && trial.exitCode == SETUP_EXIT_RESTART)
        verdict.warnings.push_back(kRestartNeeded);
    return verdict;
}
