// setup.exe started under winlist launch, and its reports (see launch.h).
#include "trial/launch.h"

#ifndef _WIN32

#include "common/hostfs.h"
#include "trial/windowlist.h"

#include <signal.h>
#include <stdio.h>

#include <thread>

namespace
{

constexpr size_t kLogLimit = 1 << 20;
constexpr auto kPollPause = std::chrono::milliseconds(100);

// False once a stop signal came, told as the run's problem.
bool Going(Operator &op)
{
    if (!g_stopSignal)
        return true;
    op.Problem("stop", "stopped");
    return false;
}

} // namespace

bool SetupLaunch::Start(const char *folder, const std::string &setupName, const char *logName,
                        SetupRun *run, Operator &op)
{
    // Every process started from now on, with what it was started with.
    sandbox_.WatchProcesses();
    // winlist launch starts setup.exe exactly with this command line and
    // reports its process id and its full exit code.
    std::string distWindows = std::string("C:\\") + kDistFolder + "\\" + folder;
    std::string commandLine = "\"" + distWindows + "\\" + setupName + "\"";
    if (options_.silent)
        commandLine += " /VERYSILENT";
    // The log names the destination the module settled on, in either
    // mode; it lands in the trial's own folder on C:, which is in the
    // work folder and never counted as installed.
    commandLine += std::string(" /LOG=\"C:\\") + kDistFolder + "\\" + logName + "\"";
    if (!options_.destination.empty())
        commandLine += " /DIR=\"" + options_.destination + "\"";
    if (!options_.arguments.empty())
        commandLine += " " + options_.arguments;
    op.Note("starting " + commandLine);
    std::string out = (sandbox_.Logs() / (std::string(folder) + "-launch.out")).string();
    Command launch = sandbox_.Wine({sandbox_.WinlistExe(), "launch"}, out);
    launch.extraEnv.push_back("WINLIST_CMDLINE=" + commandLine);
    launch.extraEnv.push_back("WINLIST_CWD=" + distWindows);
    launcherPid_ = Spawn(launch, BaseEnvironment());
    launch_.Open(out);
    if (launcherPid_ < 0) {
        op.Problem("setup", "cannot start wine");
        return false;
    }
    Clock::time_point until =
        std::min(sandbox_.DriveEnd(), Clock::now() + std::chrono::seconds(60));
    while (Clock::now() < until && Going(op)) {
        ReadLaunch(run, op);
        if (run->process.setupPid > 0) {
            run->record.started = true;
            op.Note("setup.exe runs as process " + std::to_string(run->process.setupPid));
            return true;
        }
        if (!run->process.launchError.empty()) {
            op.Problem("setup", "setup.exe could not be started: " + run->process.launchError);
            return false;
        }
        if (WaitUntil(launcherPid_, Clock::now()) != -2) {
            launcherPid_ = -1;
            op.Problem("setup",
                       "Wine ended before setup.exe started (see " + sandbox_.WineLog() + ")");
            return false;
        }
        std::this_thread::sleep_for(kPollPause);
    }
    op.Problem("setup", "setup.exe did not start within 60 s");
    return false;
}

void SetupLaunch::ReadLaunch(SetupRun *run, Operator &op)
{
    for (const std::string &line : launch_.NewLines()) {
        JsonFields fields;
        if (!ParseJsonLine(line, &fields))
            continue;
        if (fields.Has("pid"))
            run->process.setupPid = fields.Number("pid");
        if (fields.Has("exit")) {
            run->process.ended = true;
            op.Note("setup.exe ended with exit code " + std::to_string(fields.Number("exit")));
            run->process.endedAt = op.Now();
            run->process.endedWall = std::chrono::system_clock::now();
            run->record.exitCode = static_cast<int>(fields.Number("exit"));
        }
        if (fields.Has("error"))
            run->process.launchError =
                fields.Text("error") + " (code " + std::to_string(fields.Number("code")) + ")";
    }
}

// The demonstration is the program that setup.exe starts the way the
// shell starts it (IsShellDemo); any other program setup.exe starts is
// its module's doing, listed but not taken for the demonstration.
void SetupLaunch::ReadProcesses(SetupRun *run, Operator &op)
{
    for (const std::string &line : sandbox_.ProcessLines()) {
        JsonFields fields;
        if (!ParseJsonLine(line, &fields) || fields.Number("parent", -1) != run->process.setupPid ||
            IsWineHelper(fields))
            continue;
        std::string command = fields.Text("cmdline");
        if (fields.Number("gone")) {
            op.Note("setup.exe started a program that ended before it could be read");
            continue;
        }
        std::string folder = fields.Text("cwd");
        if (!IsShellDemo(command, folder)) {
            op.Note("setup.exe (its module) started " + command);
            run->record.otherPrograms.push_back(command);
            continue;
        }
        run->process.demoPid = fields.Number("pid");
        run->record.demoCommand = command;
        op.Note("setup.exe started the demonstration " + command);
        // The process keeps its folder with a final backslash; a root keeps it.
        if (folder.size() > 3 && folder.back() == '\\')
            folder.pop_back();
        run->record.demoFolder = folder;
    }
}

void SetupLaunch::Stop()
{
    ::Stop(launcherPid_, 2);
    launcherPid_ = -1;
}

void ReadSetupLog(Sandbox &sandbox, const char *name, RunRecord *record)
{
    std::string from = (sandbox.Drive() / kDistFolder / name).string();
    std::string kept = (sandbox.Logs() / name).string();
    record->log.clear();
    if (!CopyRegularFile(from, kept, false)) {
        sandbox.Note("setup.exe left no log at " + from);
        return;
    }
    record->logPath = kept;
    FILE *file = OpenRegularFile(kept, false);
    if (!file)
        return;
    std::string text(kLogLimit, '\0');
    text.resize(fread(&text[0], 1, text.size(), file));
    fclose(file);
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? end : end - start);
        start = end == std::string::npos ? text.size() : end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        record->log.push_back(line);
    }
}

#endif
