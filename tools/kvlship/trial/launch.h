// setup.exe of one run, started under winlist launch with the trial's
// switches, and what it reports as it runs: its process id and exit code,
// the programs it starts (the demonstration among them), and its log.
#pragma once

#ifndef _WIN32

#include "trial/operator.h"
#include "trial/process.h"
#include "trial/sandbox.h"
#include "trial/setuprun.h"

#include <string>

class SetupLaunch
{
  public:
    SetupLaunch(Sandbox &sandbox, const TrialOptions &options)
        : sandbox_(sandbox), options_(options)
    {
    }
    SetupLaunch(const SetupLaunch &) = delete;
    SetupLaunch &operator=(const SetupLaunch &) = delete;

    // Starts setup.exe of the distribution copied to C:\kvlship-trial\<folder>,
    // its log going to <logName> beside it. False when it could not be
    // started (told to `op`).
    bool Start(const char *folder, const std::string &setupName, const char *logName, SetupRun *run,
               Operator &op);
    // What winlist launch reported since the last call: setup's process id,
    // its exit code.
    void ReadLaunch(SetupRun *run, Operator &op);
    // The programs setup.exe started, from the process watcher: the
    // demonstration, and any other (its module's doing).
    void ReadProcesses(SetupRun *run, Operator &op);
    // Ends winlist launch (setup.exe ends with Wine).
    void Stop();

  private:
    Sandbox &sandbox_;
    const TrialOptions &options_;
    pid_t launcherPid_ = -1;
    FileTail launch_;
};

// setup.exe's log <name>, kept in logs/ beside the trial's own and read into
// `record`: never through a link, and no more than 1 MiB.
void ReadSetupLog(Sandbox &sandbox, const char *name, RunRecord *record);

#endif
