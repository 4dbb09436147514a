// One run of setup.exe within a trial: its process as winlist reports it,
// and what the run made for the report. Times are seconds since the trial
// began (Operator::Now).
#pragma once

#include "common/diagnostics.h"
#include "trial/trial.h"

#include <chrono>
#include <string>
#include <vector>

// setup.exe's process and the demonstration it started.
struct SetupProcess {
    long long setupPid = -1;
    long long demoPid = -1;
    bool ended = false; // setup.exe ended by itself
    double endedAt = 0;
    std::chrono::system_clock::time_point endedWall; // the same moment by the wall clock
    std::string launchError;                         // why winlist could not start it
};

// What one run made: the report's fields for it.
struct RunRecord {
    bool started = false;  // setup.exe ran
    bool agreed = false;   // the agreement dialog appeared and was accepted
    bool copied = false;   // the shortcut stage followed the copy
    bool timedOut = false; // the run was stopped at the time limit
    int exitCode = -1;     // setup.exe's; -1 when it did not end by itself
    std::string demoCommand, demoFolder;
    bool demoShown = false;
    std::vector<std::string> otherPrograms; // started by the module, not the demonstration
    std::vector<std::string> screenshots;
    std::vector<TrialBox> boxes;
    std::vector<std::string> faults; // the boxes no customer should meet
    std::string logPath;
    std::vector<std::string> log;
    Diagnostics problems; // why the run could not go on or ended early
};
