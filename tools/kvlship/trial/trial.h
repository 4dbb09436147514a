// kvlship try: a headless trial of a distribution. Runs its setup.exe under
// Wine on a private virtual display in a fresh prefix, agrees to the licence,
// answers every question with its default button, photographs each stage and
// reports what landed on disk, the shortcuts read back and how the
// demonstration was started.
#pragma once

#include "common/diagnostics.h"
#include "trial/judge.h"

#include <functional>
#include <string>
#include <vector>

struct TrialResult;

struct TrialOptions {
    std::string distribution; // folder holding setup.exe, the module, kvlsetup.dat, ...
    std::string work;         // folder the run owns: prefix/, screenshots/, logs/, home/
                              // below it are emptied first
    std::string winlist;      // winlist.exe (bin/winlist.exe of the build)
    std::string arguments;    // setup.exe's command line after its name, usually empty
    int timeoutSeconds = 300; // the whole run, cleaning up included
    bool silent = false;      // /VERYSILENT: nothing to click
    std::string destination;  // a complete path on C: given to setup.exe as /DIR=; empty:
                              // the module's own choice
    std::string older;        // a distribution folder installed first (an upgrade); empty: none
    bool win64 = false;       // a 64-bit prefix (WoW64): Program Files (x86), Wow6432Node
    bool keep = false;        // the trial's prefix/ stays when it ends (it is removed otherwise)
    // Judges the drive once the installation is complete (or has ended),
    // before the removal; `result` holds the destination by then. Adds to
    // result->faults and result->notes.
    std::function<void(const DriveLook &look, TrialResult *result)> judge;
};

struct TrialFile {
    std::string windowsPath; // C:\...
    std::string hostPath;
    long long size = 0;
};

struct TrialShortcut {
    std::string windowsPath; // of the .lnk
    std::string target, arguments, workingFolder, description;
    std::string problem; // why the link could not be read; empty when it was
};

// A message box or other dialog met on the way, and how it was answered.
struct TrialBox {
    std::string caption, text; // text: the box's static texts, one per line
    std::string answer;        // the button pressed (its text without '&'); empty: closed
    bool error = false;        // one of setup.exe's own error boxes: the run ended on it
    std::string screenshot;
};

struct TrialResult {
    bool started = false;   // setup.exe ran at all; false with a problem when it could not
    std::string keptPrefix; // the prefix kept between trials for this Wine; "" when none
    long long keptPrefixBytes = 0;
    std::string prefixCopy;               // the trial's own copy of it (work/prefix)
    long long prefixCopyBytes = 0;        // its size when the trial ended
    bool prefixCopyKept = false;          // --keep: it stays; otherwise it was removed
    Diagnostics problems;                 // why the trial could not run or ended early, in the
                                          // order met: the first is the one told (TrialProblem)
    bool agreed = false;                  // the agreement dialog appeared and was accepted
    bool copied = false;                  // the copy ran to its end: the shortcut stage followed it
                                          // (the shell shows that stage only after a finished copy)
    bool timedOut = false;                // the run was stopped at its time limit
    int exitCode = -1;                    // setup.exe's exit code; -1 when it did not end by itself
    std::vector<TrialFile> installed;     // new or changed files under C:\, sorted; Wine's
                                          // own temporary files and the trial's copy of the
                                          // distribution left out
    std::vector<TrialShortcut> shortcuts; // every new or changed .lnk among them, read back
    std::string demoCommand, demoFolder;  // the demonstration's command line and the folder
                                          // it started in; empty when none was started
    bool demoShown = false;               // the demonstration showed a window
    std::vector<std::string> otherPrograms; // command lines of the programs setup.exe (its
                                            // module) started that are not the demonstration
    std::vector<std::string> hostPrograms;  // host programs that a Windows program of the run
                                            // started (no installation does); all ended
    int stopSignal = 0;                     // the signal that stopped the trial, if one did
    std::vector<TrialBox> boxes;
    std::vector<std::string> screenshots; // PNG paths in the order taken: agreement,
                                          // preparing, copying, shortcuts, demonstration
                                          // and every box met
    double seconds = 0;                   // how long the trial took
    std::string logPath;                  // setup.exe's log (/LOG=), copied to logs/setup.log
    std::vector<std::string> log;         // its lines (code page 1252), the first MiB at most
    std::string destination;          // where setup installed: its log's, else the registered one
    std::string programsFolder;       // the Start menu's Programs folder of the prefix's user; once
                                      // judged, the one the [GROUP] shortcuts were looked for in
    std::string commonProgramsFolder; // all users' Programs folder of the prefix
    bool win64 = false;
    // --over: the older version's run, before this one.
    int olderExitCode = -1;
    std::string olderDestination, olderLogPath;
    std::vector<std::string> olderLog;
    // The judgement of the drive (TrialOptions::judge).
    std::vector<std::string> faults; // each miss
    std::vector<std::string> notes;  // worth knowing, no fault
    // The removal that follows a complete installation: the products the
    // setup registered under Add/Remove Programs and their quiet removal.
    std::vector<std::string> uninstallCommands; // each QuietUninstallString run
    std::vector<int> uninstallExitCodes;        // their exit codes (-1: did not end)
    std::vector<std::string> leftBehind;        // what the installation created and the removal
                                                // left: files (C:\ paths) and registry keys
    bool uninstallTried = false;                // a registered removal was looked for
    bool registeredNone = false; // the setup registered no product: it cannot be removed
};

// The trial's problem as told: the first met; empty when there was none.
inline std::string TrialProblem(const TrialResult &result)
{
    return result.problems.Empty() ? std::string() : result.problems.All().front().text;
}

// Runs the trial and fills `result`. Never takes much longer than
// options.timeoutSeconds and leaves no process of its own running (Xvfb,
// Wine and its programs, any host program one of them started), also when
// SIGINT, SIGTERM or SIGHUP stops it early. The prefix maps no host drive:
// Wine's Z: and any other drive leading out of it are removed. It still runs
// the distribution's own code, which Wine does not confine. On Windows it
// only tells a problem: the trial needs Wine and Xvfb.
void RunTrial(const TrialOptions &options, TrialResult *result);
