// The trial's processes on the host (see process.h).
#include "trial/process.h"

#ifndef _WIN32

#include "common/hostfs.h"
#include "common/lines.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <thread>

extern char **environ;

namespace
{

bool StartsWith(const std::string &text, const std::string &start)
{
    return text.compare(0, start.size(), start) == 0;
}

} // namespace

Clock::duration Span(double seconds)
{
    return std::chrono::duration_cast<Clock::duration>(Seconds(seconds));
}

void Pause(double seconds)
{
    std::this_thread::sleep_for(Seconds(seconds));
}

std::string FindProgram(const std::string &name)
{
    const char *path = getenv("PATH");
    std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    for (const std::string &folder : SplitAt(folders, ":")) {
        std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        struct stat info;
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return std::string();
}

volatile sig_atomic_t g_stopSignal = 0;
bool g_endingAll = false;
std::set<pid_t> g_started;

void OnStopSignal(int number)
{
    g_stopSignal = number;
}

const char *SignalName(int number)
{
    return number == SIGINT ? "SIGINT" : number == SIGTERM ? "SIGTERM" : "SIGHUP";
}

std::vector<std::string> BaseEnvironment()
{
    std::vector<std::string> env;
    for (char **entry = environ; entry && *entry; ++entry)
        env.push_back(*entry);
    return env;
}

// `env` with each NAME=VALUE of `changes` put in place of the same name.
std::vector<std::string> WithChanges(std::vector<std::string> env,
                                     const std::vector<std::string> &changes)
{
    for (const std::string &change : changes) {
        // A bare NAME removes the variable.
        size_t equals = change.find('=');
        std::string name =
            equals == std::string::npos ? change + "=" : change.substr(0, equals + 1);
        env.erase(std::remove_if(env.begin(), env.end(),
                                 [&](const std::string &e) { return StartsWith(e, name); }),
                  env.end());
        if (equals != std::string::npos)
            env.push_back(change);
    }
    return env;
}

pid_t Spawn(const Command &command, const std::vector<std::string> &baseEnv)
{
    std::vector<std::string> env = WithChanges(baseEnv, command.extraEnv);
    // Everything the child needs is built before the fork.
    std::vector<char *> argv, envp;
    for (const std::string &arg : command.argv)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    for (const std::string &entry : env)
        envp.push_back(const_cast<char *>(entry.c_str()));
    envp.push_back(nullptr);
    const char *out = command.output.empty() ? "/dev/null" : command.output.c_str();
    const char *err = command.errors.empty() ? "/dev/null" : command.errors.c_str();
    const char *folder = command.folder.empty() ? nullptr : command.folder.c_str();

    pid_t pid = fork();
    if (pid > 0)
        g_started.insert(pid);
    if (pid != 0)
        return pid;
    setsid();
    int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
    int outFd = open(out, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int errFd = open(err, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (in < 0 || outFd < 0 || errFd < 0 || dup2(in, 0) < 0 || dup2(outFd, 1) < 0 ||
        dup2(errFd, 2) < 0 || (folder && chdir(folder) != 0))
        _exit(127);
    if (command.passFd >= 0)
        fcntl(command.passFd, F_SETFD, 0);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
}

int WaitUntil(pid_t pid, Clock::time_point deadline)
{
    for (;;) {
        int status = 0;
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            g_started.erase(pid);
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (done < 0 && errno != EINTR) {
            g_started.erase(pid);
            return -1;
        }
        if (Clock::now() >= deadline || (g_stopSignal && !g_endingAll))
            return -2;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void Stop(pid_t pid, double grace)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    if (WaitUntil(pid, Clock::now() +
                           std::chrono::duration_cast<Clock::duration>(Seconds(grace))) == -2) {
        kill(pid, SIGKILL);
        WaitUntil(pid, Clock::now() + std::chrono::seconds(5));
    }
}

int RunCommand(const Command &command, const std::vector<std::string> &env, double seconds,
               Clock::time_point deadline)
{
    pid_t pid = Spawn(command, env);
    if (pid < 0)
        return -1;
    Clock::time_point until = std::min(
        deadline, Clock::now() + std::chrono::duration_cast<Clock::duration>(Seconds(seconds)));
    int status = WaitUntil(pid, until);
    if (status == -2) {
        kill(pid, SIGKILL);
        WaitUntil(pid, Clock::now() + std::chrono::seconds(5));
    }
    return status;
}

std::vector<std::string> FileTail::NewLines()
{
    std::vector<std::string> lines;
    FILE *file = fopen(path_.c_str(), "rb");
    if (!file)
        return lines;
    if (fseek(file, offset_, SEEK_SET) == 0) {
        char chunk[8192];
        size_t got;
        while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) {
            pending_.append(chunk, got);
            offset_ += static_cast<long>(got);
        }
    }
    fclose(file);
    size_t newline;
    while ((newline = pending_.find('\n')) != std::string::npos) {
        lines.push_back(pending_.substr(0, newline));
        pending_.erase(0, newline + 1);
    }
    return lines;
}

namespace
{

std::string ReadProcFile(pid_t pid, const char *name)
{
    std::string text;
    ReadWholeFile("/proc/" + std::to_string(pid) + "/" + name, &text, false, 1 << 16);
    return text;
}

// The parent of `pid` from /proc/PID/stat; 0 when it cannot be read.
pid_t ParentOf(pid_t pid)
{
    std::string stat = ReadProcFile(pid, "stat");
    // The program's name, in parentheses, may hold anything: the fields follow the last ')'.
    size_t close = stat.rfind(')');
    int parent = 0;
    if (close == std::string::npos || sscanf(stat.c_str() + close + 1, " %*c %d", &parent) != 1)
        return 0;
    return parent;
}

} // namespace

std::vector<HostProcess> Descendants()
{
    std::multimap<pid_t, pid_t> children;
    if (DIR *proc = opendir("/proc")) {
        while (struct dirent *entry = readdir(proc)) {
            pid_t pid = static_cast<pid_t>(atoi(entry->d_name));
            if (pid > 0)
                children.emplace(ParentOf(pid), pid);
        }
        closedir(proc);
    }
    std::vector<HostProcess> below;
    std::vector<pid_t> parents = {getpid()};
    while (!parents.empty()) {
        pid_t parent = parents.back();
        parents.pop_back();
        auto range = children.equal_range(parent);
        for (auto it = range.first; it != range.second; ++it) {
            HostProcess process{it->second, parent, "", ""};
            char exe[4096];
            std::string link = "/proc/" + std::to_string(process.pid) + "/exe";
            ssize_t length = readlink(link.c_str(), exe, sizeof exe - 1);
            if (length > 0)
                process.exe.assign(exe, static_cast<size_t>(length));
            process.command = ReadProcFile(process.pid, "cmdline");
            std::replace(process.command.begin(), process.command.end(), '\0', ' ');
            while (!process.command.empty() && process.command.back() == ' ')
                process.command.pop_back();
            below.push_back(process);
            parents.push_back(process.pid);
        }
    }
    return below;
}

#endif
