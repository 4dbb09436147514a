// The trial's sandbox on the host (Linux): the programs it needs, its work
// folder, the private display, the prefix with the distributions copied in,
// the Wine programs run there (winlist, reg), the screenshots and the
// trial's log; and its teardown, which ends every process of the trial.
#pragma once

#ifndef _WIN32

#include "common/diagnostics.h"
#include "trial/judge.h"
#include "trial/process.h"
#include "trial/trial.h"
#include "trial/windowlist.h"
#include "trial/winlisttool.h"

#include <filesystem>
#include <set>
#include <string>
#include <vector>

// The trial's own folder below C:\: the copies of the distributions,
// winlist.exe and setup's logs.
constexpr char kDistFolder[] = "kvlship-trial";

class Sandbox
{
  public:
    // Problems of the trial itself (not of a run of setup) go to `problems`.
    Sandbox(const TrialOptions &options, Diagnostics *problems);

    // Everything up to a prefix ready for setup.exe, the distributions
    // copied in. False when something failed (told) or a stop came.
    bool Open();
    // False once a stop signal came (told as the problem): the trial goes no further.
    bool Going();
    // Tells `text` as a problem in `problems` and in the trial's log. A
    // wait cut short by a stop signal fails for that reason alone: the
    // signal is told first.
    void Report(Diagnostics *problems, const std::string &place, const std::string &text);
    // A line of logs/trial.log: what the trial did when, for whoever
    // wonders why a run went as it did.
    void Note(const std::string &text);

    // Seconds since the trial began; the end of its driving and of the whole.
    double Now() const;
    Clock::time_point DriveEnd() const { return driveEnd_; }
    Clock::time_point End() const { return end_; }

    const std::string &SetupName() const { return setupName_; }
    const std::string &OlderSetupName() const { return olderSetupName_; }
    const std::filesystem::path &Drive() const { return drive_; }
    const std::filesystem::path &Logs() const { return logs_; }
    const std::string &WinlistExe() const { return winlistExe_; }
    const std::string &WineLog() const { return wineLog_; }
    bool Win64() const { return options_.win64; }

    // A Wine program of the run, `output` its standard output.
    Command Wine(std::vector<std::string> args, const std::string &output) const;
    // winlist.exe's answer to `args`, and its list of every window.
    std::string Winlist(const std::vector<std::string> &args);
    std::vector<TopWindow> ListWindows();
    // A picture of the whole screen as screenshots/NN-NAME.png; its path, or empty.
    std::string Shoot(const std::string &name);
    // `reg query KEY /s` (or /v VALUE), read; nothing when the key is not there.
    std::vector<RegistryKey> Query(const char *key, const char *output,
                                   const char *value = nullptr);
    // The user's Programs folder of the prefix's Start menu, and all users'.
    std::string ProgramsFolder();
    std::string CommonProgramsFolder();
    // Asks each window of the process `pid` to close and waits (10 s at
    // most) for them to go.
    void CloseWindowsOf(long long pid);

    // winlist processes, started once: every Windows process started from
    // then on, one line each. The lines it wrote since the last call.
    void WatchProcesses();
    std::vector<std::string> ProcessLines();
    // Notes each host program below the trial that a Windows program of
    // the run started (which no installation does).
    void WatchHostPrograms();
    const std::vector<std::string> &HostPrograms() const { return hostPrograms_; }

    // The teardown in three steps: Wine's processes ended, the process
    // watcher stopped (its last lines still to read), and then the display
    // and every process left.
    void EndWine();
    void StopWatcher();
    void EndAll();
    // What the trial leaves on disk: the kept prefix always; its own copy
    // only with --keep, for it is as large.
    void AccountForPrefix(TrialResult *result);

  private:
    bool Fail(const std::string &place, const std::string &text);
    bool FindPrograms();
    bool CheckOptions();
    bool FindSetupIn(const std::string &folder, const char *place, const char *called,
                     std::string *name);
    bool MakeFolders();
    bool StartDisplay();
    std::string ReadDisplayNumber(int fd);
    bool MakePrefix();
    bool CopyDistribution(const std::string &folder, const char *name);
    std::vector<std::string> WineEnv() const;
    WineRunner Runner() const;
    std::string ShellFolder(const char *key, const char *value, const char *output);
    void WatchHostPrograms(const std::vector<HostProcess> &processes);
    void EndDescendants();

    const TrialOptions &options_;
    Diagnostics *problems_;
    Clock::time_point begin_, end_, driveEnd_;
    std::string wine_, loader_, wineserver_, xvfb_, import_;
    std::string setupName_, olderSetupName_, display_, wineLog_;
    std::filesystem::path work_, prefix_, shots_, logs_, home_, drive_;
    std::filesystem::path wineFolder_; // where Wine's own programs are: its loader, its server
    WinlistTool winlist_;
    std::string winlistExe_; // its copy on C:
    int shotCount_ = 0;
    pid_t xvfbPid_ = -1, watcherPid_ = -1;
    FileTail watcher_;
    std::set<pid_t> hostSeen_; // host programs already noted
    std::vector<std::string> hostPrograms_;
};

#endif
