// The trial's processes on the host (Linux): Wine programs, Xvfb, the
// screenshot tool. Each is started with fork and execve (no shell), its
// output in files, so that no reader ever waits on a pipe a Wine service
// holds open. Each starts a session of its own, so that the terminal's Ctrl-C
// reaches only kvlship, which then ends them all in order.
#pragma once

#ifndef _WIN32

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <set>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

// The signal (SIGINT, SIGTERM, SIGHUP) that asked the trial to stop; 0 while none has.
extern volatile sig_atomic_t g_stopSignal;
// While the trial ends its processes, a stop signal no longer cuts waits short.
extern bool g_endingAll;
// The processes started here and not yet waited for.
extern std::set<pid_t> g_started;

void OnStopSignal(int number);
const char *SignalName(int number);

void Pause(double seconds);

// `seconds` as the clock's duration.
Clock::duration Span(double seconds);

// The full path of a program found on PATH; empty when there is none.
std::string FindProgram(const std::string &name);

struct Command {
    std::vector<std::string> argv; // argv[0]: a full path
    std::string folder;            // empty: ours
    std::string output;            // stdout; empty: /dev/null
    std::string errors;            // stderr, appended; empty: /dev/null
    std::vector<std::string> extraEnv;
    int passFd = -1; // inherited by the child
};

// Our own environment, as the children start from it.
std::vector<std::string> BaseEnvironment();

// `env` with each NAME=VALUE of `changes` put in place of the same name; a
// bare NAME removes the variable.
std::vector<std::string> WithChanges(std::vector<std::string> env,
                                     const std::vector<std::string> &changes);

// Starts `command`; its id, or -1.
pid_t Spawn(const Command &command, const std::vector<std::string> &baseEnv);

// Waits for `pid` until `deadline` (or a stop signal). Returns its exit
// status (-1 for one ended by a signal), or -2 while it still runs.
int WaitUntil(pid_t pid, Clock::time_point deadline);

// Ends `pid`: a polite signal, then after `grace` seconds a hard one.
void Stop(pid_t pid, double grace);

// Runs a command to its end within `seconds` (and before `deadline`).
// Returns its exit status, -1 for a signal or a failed start, -2 when it
// was killed for taking too long.
int RunCommand(const Command &command, const std::vector<std::string> &env, double seconds,
               Clock::time_point deadline);

// The lines a growing file gained since the last call; a line still being
// written stays for the next.
class FileTail
{
  public:
    void Open(const std::string &path)
    {
        path_ = path;
        pending_.clear();
        offset_ = 0;
    }
    std::vector<std::string> NewLines();

  private:
    std::string path_;
    std::string pending_;
    long offset_ = 0;
};

// How a Wine program of the run is started: the loader, the environment
// every such program gets, and the file its own chatter goes to.
struct WineRunner {
    std::string loader; // wine, or wine64 for a 64-bit prefix
    std::vector<std::string> env;
    std::string log;

    Command Make(std::vector<std::string> args, const std::string &output) const
    {
        args.insert(args.begin(), loader);
        return {args, "", output, log, env};
    }
};

// The host's processes below kvlship. The trial makes kvlship their
// subreaper: a process that leaves its parent (as Wine's own do, and as a
// program may to escape) stays below it, so that all can be found and ended.
struct HostProcess {
    pid_t pid, parent;
    std::string exe;     // the program's file; empty when it cannot be read
    std::string command; // its arguments joined by blanks
};

std::vector<HostProcess> Descendants();

#endif
