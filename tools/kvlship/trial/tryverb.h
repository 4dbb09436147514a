// `kvlship try`: a trial installation under Wine, judged against the plan
// that `check` makes of the same distribution, for the destination the
// installation really took.
#pragma once

#include <string>

struct TryOptions {
    std::string distribution;
    std::string work;        // empty: kvlship-try beside the distribution
    std::string module;      // setup.exe's command line after its switches; empty: defsetup
    std::string engine;      // the folder holding winlist.exe
    std::string destination; // --dest: given to setup.exe as /DIR= and judged against
    std::string older;       // --over: an older version's distribution, installed first
    int timeoutSeconds = 300;
    bool silent = false; // /VERYSILENT
    bool win64 = false;  // a 64-bit prefix
    bool json = false;
    bool keep = false; // --keep: the trial's own prefix copy stays in the work folder
};

// Runs the trial and prints its report, with setup's exit code and its
// meaning. Returns 0 when setup ended with SETUP_EXIT_COMPLETE (or
// SETUP_EXIT_RESTART, with a warning that a restart is needed) and every
// planned file, stock shortcut and stock setting is where it belongs, 2
// otherwise. setup.exe always runs with a /LOG in the work folder, which the
// report holds and which names the destination. `distribution` may also be
// a single-file package: its payload is checked and laid out in a temporary
// folder as the stub lays it out, and that folder is tried.
int TryDistribution(const TryOptions &options);
