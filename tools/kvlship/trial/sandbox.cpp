// The trial's sandbox on the host and its teardown (see sandbox.h).
#include "trial/sandbox.h"

#ifndef _WIN32

#include "common/hostfs.h"
#include "common/textout.h"
#include "trial/prefix.h"

#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

namespace
{

namespace fs = std::filesystem;

constexpr double kShotWait = 30;        // one screenshot
constexpr size_t kQueryLimit = 1 << 20; // what is read of reg's answer
constexpr char kShellFoldersKey[] =
    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kCommonShellFoldersKey[] =
    "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
// Where Debian keeps Wine's 64-bit loader (it is not on PATH there).
constexpr char kDebianWine64[] = "/usr/lib/wine/wine64";
constexpr auto kPollPause = std::chrono::milliseconds(100);
// Marks a work folder as one a trial made (and may empty again).
constexpr char kWorkMarker[] = ".kvlship-trial";

// setup.exe in any case of letters.
std::string FindSetup(const std::string &folder)
{
    std::error_code error;
    for (fs::directory_iterator it(folder, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        if (Lowered(it->path().filename().string()) == "setup.exe" &&
            fs::is_regular_file(it->symlink_status(error)))
            return it->path().filename().string();
    }
    return std::string();
}

bool Inside(const fs::path &inner, const fs::path &outer)
{
    return PathInside(inner.string(), outer.string());
}

} // namespace

Sandbox::Sandbox(const TrialOptions &options, Diagnostics *problems)
    : options_(options), problems_(problems), begin_(Clock::now())
{
    int limit = std::max(options.timeoutSeconds, 10);
    // What is left at the end is for cleaning up.
    double reserve = std::min(20.0, std::max(4.0, limit / 6.0));
    end_ = begin_ + Span(limit);
    driveEnd_ = end_ - Span(reserve);
}

bool Sandbox::Open()
{
    return FindPrograms() && CheckOptions() && MakeFolders() && Going() && StartDisplay() &&
           Going() && MakePrefix() && Going() &&
           CopyDistribution(options_.distribution, "distribution") &&
           (options_.older.empty() || CopyDistribution(options_.older, "older")) && Going();
}

bool Sandbox::Going()
{
    return !g_stopSignal || Fail("stop", "stopped");
}

void Sandbox::Report(Diagnostics *problems, const std::string &place, const std::string &text)
{
    Note("problem: " + text);
    if (!problems->ErrorCount() && g_stopSignal)
        problems->Error("stop",
                        std::string("the trial was stopped by ") + SignalName(g_stopSignal));
    problems->Error(place, text);
}

bool Sandbox::Fail(const std::string &place, const std::string &text)
{
    Report(problems_, place, text);
    return false;
}

void Sandbox::Note(const std::string &text)
{
    if (logs_.empty())
        return;
    FILE *file = fopen((logs_ / "trial.log").c_str(), "ab");
    if (!file)
        return;
    fprintf(file, "%7.1f s  %s\n", Now(), text.c_str());
    fclose(file);
}

double Sandbox::Now() const
{
    return Seconds(Clock::now() - begin_).count();
}

bool Sandbox::FindPrograms()
{
    struct Need {
        const char *program, *package;
        std::string *path;
    } needs[] = {{"wine", "wine (with wine32:i386)", &wine_},
                 {"wineserver", "wine", &wineserver_},
                 {"Xvfb", "xvfb", &xvfb_},
                 {"import", "imagemagick", &import_}};
    std::string missing;
    for (Need &need : needs) {
        *need.path = FindProgram(need.program);
        if (need.path->empty())
            missing += std::string(missing.empty() ? "" : ", ") + need.program +
                       " (Debian package " + need.package + ")";
    }
    // A 64-bit prefix needs Wine's 64-bit loader beside the 32-bit one,
    // which runs the 32-bit programs in it (WoW64).
    loader_ = wine_;
    if (options_.win64) {
        loader_ = FindProgram("wine64");
        if (loader_.empty() && access(kDebianWine64, X_OK) == 0)
            loader_ = kDebianWine64;
        if (loader_.empty())
            missing += std::string(missing.empty() ? "" : ", ") +
                       "wine64 (Debian package wine64, for --win64)";
    }
    if (!missing.empty())
        return Fail("programs", "the trial needs programs that are not installed: " + missing);
    std::error_code ignored;
    wineFolder_ = fs::canonical(wineserver_, ignored).parent_path();
    return true;
}

bool Sandbox::CheckOptions()
{
    std::error_code error;
    if (!fs::is_regular_file(options_.winlist, error))
        return Fail("winlist", "winlist.exe not found at " + options_.winlist);
    if (!FindSetupIn(options_.distribution, "distribution", "the distribution folder ",
                     &setupName_))
        return false;
    if (!options_.older.empty() &&
        !FindSetupIn(options_.older, "older", "the older distribution folder ", &olderSetupName_))
        return false;
    // The prefix has no drive but C:, and setup.exe takes only a complete folder.
    if (!options_.destination.empty() && WindowsToDrive(options_.destination).empty())
        return Fail("destination",
                    "the destination " + options_.destination +
                        " is not a complete path on drive C:, the trial prefix's only drive");
    if (options_.work.empty())
        return Fail("work", "no work folder given");
    return true;
}

// setup.exe's name in `folder` (told as `called`); false when there is none.
bool Sandbox::FindSetupIn(const std::string &folder, const char *place, const char *called,
                          std::string *name)
{
    std::error_code error;
    if (!fs::is_directory(folder, error))
        return Fail(place, called + folder + " does not exist");
    *name = FindSetup(folder);
    if (name->empty())
        return Fail(place, called + folder + " holds no setup.exe");
    return true;
}

// The work folder is emptied of what an earlier trial left, so it must
// be new, empty or one a trial made: anything else may be someone's files.
bool Sandbox::MakeFolders()
{
    std::error_code error;
    work_ = fs::weakly_canonical(fs::absolute(options_.work), error);
    fs::path distribution;
    if (!error)
        distribution = fs::weakly_canonical(fs::absolute(options_.distribution), error);
    if (error)
        return Fail("work", "cannot resolve the folders: " + error.message());
    if (Inside(work_, distribution) || Inside(distribution, work_))
        return Fail("work", "the work folder and the distribution folder must not hold each other");
    if (!options_.older.empty()) {
        fs::path older = fs::weakly_canonical(fs::absolute(options_.older), error);
        if (!error && (Inside(work_, older) || Inside(older, work_)))
            return Fail("work", "the work folder and the older distribution folder must not hold "
                                "each other");
    }
    fs::path marker = work_ / kWorkMarker;
    if (fs::exists(work_, error) && !fs::is_empty(work_, error) && !fs::exists(marker, error))
        return Fail("work",
                    "the work folder " + work_.string() +
                        " holds other files; give a new or empty folder, or one a trial used");
    prefix_ = work_ / "prefix";
    shots_ = work_ / "screenshots";
    logs_ = work_ / "logs";
    home_ = work_ / "home";
    // A server left by an earlier run of this prefix would serve the new one.
    if (fs::exists(prefix_, error))
        RunCommand({{wineserver_, "-k"}, "", "", "", WineEnv()}, BaseEnvironment(), 10, end_);
    for (const fs::path &folder : {prefix_, shots_, logs_, home_}) {
        fs::remove_all(folder, error); // symbolic links are removed, not followed
        if (error)
            return Fail("work", "cannot empty " + folder.string() + ": " + error.message());
    }
    for (const fs::path &folder : {shots_, logs_, home_}) {
        if (!fs::create_directories(folder, error) || error)
            return Fail("work", "cannot make " + folder.string() + ": " + error.message());
    }
    if (!WriteWholeFile(marker.string(), "kvlship try works here\n"))
        return Fail("work", "cannot write in " + work_.string());
    wineLog_ = (logs_ / "wine.log").string();
    return true;
}

// What every Wine program of the run gets: its own prefix, display and
// home (so that nothing reaches the user's own folders or menus).
std::vector<std::string> Sandbox::WineEnv() const
{
    return {"WINEPREFIX=" + prefix_.string(),
            std::string("WINEARCH=") + (options_.win64 ? "win64" : "win32"), "WINEDEBUG=-all",
            // No offer to install Mono or Gecko (a window that waits
            // forever), and no menu entries on the host for the links.
            "WINEDLLOVERRIDES=mscoree,mshtml=;winemenubuilder.exe=d", "DISPLAY=" + display_,
            "HOME=" + home_.string(), "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME",
            "WAYLAND_DISPLAY"};
}

WineRunner Sandbox::Runner() const
{
    return {loader_, WineEnv(), wineLog_};
}

Command Sandbox::Wine(std::vector<std::string> args, const std::string &output) const
{
    return Runner().Make(std::move(args), output);
}

bool Sandbox::StartDisplay()
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return Fail("display", "cannot make a pipe for Xvfb");
    // The number must not be 0-2, which the child's own files take.
    int writeEnd = fcntl(fds[1], F_DUPFD_CLOEXEC, 10);
    close(fds[1]);
    Command command{{xvfb_, "-displayfd", std::to_string(writeEnd), "-screen", "0", "1024x768x24",
                     "-nolisten", "tcp", "-noreset"},
                    "",
                    (logs_ / "xvfb.log").string(),
                    (logs_ / "xvfb.log").string(),
                    {},
                    writeEnd};
    xvfbPid_ = Spawn(command, BaseEnvironment());
    close(writeEnd);
    std::string number = ReadDisplayNumber(fds[0]);
    close(fds[0]);
    if (number.empty())
        return Fail("display", "Xvfb did not start (see " + (logs_ / "xvfb.log").string() + ")");
    display_ = ":" + number;
    return true;
}

// The display number Xvfb writes when it is ready; empty if it does not
// within 20 s.
std::string Sandbox::ReadDisplayNumber(int fd)
{
    std::string number;
    Clock::time_point until = std::min(driveEnd_, Clock::now() + std::chrono::seconds(20));
    while (Clock::now() < until) {
        pollfd watch = {fd, POLLIN, 0};
        if (poll(&watch, 1, 100) <= 0)
            continue;
        char c;
        ssize_t got = read(fd, &c, 1);
        if (got <= 0)
            break;
        if (c == '\n')
            return number;
        if (!isdigit(static_cast<unsigned char>(c)) || number.size() > 8)
            break;
        number += c;
    }
    return std::string();
}

// The prefix of this trial: a copy of the one kept for this Wine and kind.
bool Sandbox::MakePrefix()
{
    PrefixPlan plan;
    plan.prefix = prefix_.string();
    plan.work = work_.string();
    plan.distFolder = kDistFolder;
    plan.wine = Runner();
    plan.wineserver = wineserver_;
    plan.win64 = options_.win64;
    plan.deadline = driveEnd_;
    Diagnostics made;
    bool ready = MakeTrialPrefix(
        plan, [this](const std::string &text) { Note(text); }, &made);
    drive_ = prefix_ / "drive_c";
    if (!ready)
        return Fail("prefix", made.Empty() ? std::string() : made.All().front().text);
    // winlist.exe runs from C:, not from its host path: a 64-bit Wine
    // starts a 32-bit program only through a drive, and there is no
    // drive to the host.
    winlistExe_ = std::string("C:\\") + kDistFolder + "\\winlist.exe";
    std::error_code error;
    fs::create_directories(drive_ / kDistFolder, error);
    if (!CopyRegularFile(options_.winlist, (drive_ / kDistFolder / "winlist.exe").string(), false))
        return Fail("prefix", "cannot copy " + options_.winlist + " into the prefix");
    winlist_.Setup(Runner(), winlistExe_, (logs_ / "winlist.out").string(), driveEnd_);
    return true;
}

// Plain files and real folders only: a link could bring any host folder
// into the prefix, and a device or FIFO never ends.
bool Sandbox::CopyDistribution(const std::string &folder, const char *name)
{
    fs::path target = drive_ / kDistFolder / name;
    std::error_code error;
    fs::create_directories(target, error);
    fs::path from = folder;
    for (fs::recursive_directory_iterator walk(from, error);
         !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
        fs::file_status status = walk->symlink_status(error);
        fs::path to = target / walk->path().lexically_relative(from);
        if (fs::is_directory(status))
            fs::create_directory(to, error);
        else if (!fs::is_regular_file(status))
            Note("not copied, not a plain file: " + walk->path().string());
        else if (!CopyRegularFile(walk->path().string(), to.string(), false))
            return Fail("distribution",
                        "cannot copy " + walk->path().string() + " into the prefix");
    }
    if (error)
        return Fail("distribution",
                    "cannot copy the distribution into the prefix: " + error.message());
    return true;
}

std::string Sandbox::Winlist(const std::vector<std::string> &args)
{
    return winlist_.Call(args);
}

std::vector<TopWindow> Sandbox::ListWindows()
{
    return winlist_.List();
}

std::string Sandbox::Shoot(const std::string &name)
{
    char number[16];
    snprintf(number, sizeof number, "%02d-", ++shotCount_);
    std::string path = (shots_ / (number + name + ".png")).string();
    Command command{{import_, "-display", display_, "-window", "root", path},
                    "",
                    "",
                    (logs_ / "import.log").string(),
                    {}};
    Note("screenshot " + path);
    if (RunCommand(command, BaseEnvironment(), kShotWait, driveEnd_) == 0 && fs::exists(path))
        return path;
    return std::string();
}

std::vector<RegistryKey> Sandbox::Query(const char *key, const char *output, const char *value)
{
    std::string out = (logs_ / output).string();
    std::vector<std::string> args = {"reg", "query", key};
    if (value)
        args.insert(args.end(), {"/v", value});
    else
        args.push_back("/s");
    if (RunCommand(Wine(args, out), BaseEnvironment(), 30, end_) != 0)
        return {};
    std::string text;
    if (!ReadWholeFile(out, &text, false, kQueryLimit))
        return {};
    return ParseRegQuery(text);
}

// A folder of the prefix's Start menu: the user's Programs, or all users'
// ("Common Programs"), where the stock module makes its program group.
std::string Sandbox::ShellFolder(const char *key, const char *value, const char *output)
{
    for (const RegistryKey &found : Query(key, output, value)) {
        auto folder = found.values.find(value);
        if (folder != found.values.end())
            return folder->second;
    }
    return std::string();
}

std::string Sandbox::ProgramsFolder()
{
    return ShellFolder(kShellFoldersKey, "Programs", "shell-folders.out");
}

std::string Sandbox::CommonProgramsFolder()
{
    return ShellFolder(kCommonShellFoldersKey, "Common Programs", "common-folders.out");
}

void Sandbox::CloseWindowsOf(long long pid)
{
    if (pid <= 0)
        return;
    for (const TopWindow &top : ListWindows()) {
        if (top.frame.pid == pid)
            Winlist({"post", top.frame.hwnd, "16", "0", "0"});
    }
    Clock::time_point until = std::min(end_, Clock::now() + std::chrono::seconds(10));
    while (Clock::now() < until && Going()) {
        bool open = false;
        for (const TopWindow &top : ListWindows())
            open = open || top.frame.pid == pid;
        if (!open)
            return;
        std::this_thread::sleep_for(kPollPause);
    }
}

void Sandbox::WatchProcesses()
{
    if (watcherPid_ > 0)
        return;
    std::string out = (logs_ / "processes.out").string();
    int watchSeconds = std::max(1, static_cast<int>(Seconds(end_ - Clock::now()).count()));
    watcherPid_ = Spawn(Wine({winlistExe_, "processes", std::to_string(watchSeconds)}, out),
                        BaseEnvironment());
    watcher_.Open(out);
}

std::vector<std::string> Sandbox::ProcessLines()
{
    return watcher_.NewLines();
}

void Sandbox::WatchHostPrograms()
{
    WatchHostPrograms(Descendants());
}

// Notes each host program among `processes` that is none of Wine's and
// that the trial did not start (nor a program it started): one that a
// Windows program of the run started, which no Windows installation does.
void Sandbox::WatchHostPrograms(const std::vector<HostProcess> &processes)
{
    for (const HostProcess &process : processes) {
        if (g_started.count(process.pid) || g_started.count(process.parent) ||
            process.exe.empty() || hostSeen_.count(process.pid))
            continue;
        // A host program's own children are its doing, told with it.
        if (hostSeen_.count(process.parent)) {
            hostSeen_.insert(process.pid);
            continue;
        }
        fs::path folder = fs::path(process.exe).parent_path();
        if (folder == wineFolder_)
            continue;
        hostSeen_.insert(process.pid);
        Note("a host program runs below the trial: " + process.exe + " (" + process.command + ")");
        hostPrograms_.push_back(process.command.empty() ? process.exe : process.command);
    }
}

void Sandbox::EndWine()
{
    Note("ending Wine and the display");
    // Wine is always ended, even past the time limit or after a stop
    // signal: its waits are bounded here by their own limits.
    g_endingAll = true;
    if (!display_.empty() && fs::exists(prefix_))
        RunCommand({{wineserver_, "-k"}, "", "", wineLog_, WineEnv()}, BaseEnvironment(), 10,
                   Clock::time_point::max());
}

void Sandbox::StopWatcher()
{
    Stop(watcherPid_, 2);
    watcherPid_ = -1;
}

void Sandbox::EndAll()
{
    // Waits for the server to be gone, so that the drive is looked at as it stays.
    if (!display_.empty() && fs::exists(prefix_))
        RunCommand({{wineserver_, "-w"}, "", "", wineLog_, WineEnv()}, BaseEnvironment(), 5,
                   Clock::time_point::max());
    Stop(xvfbPid_, 3);
    xvfbPid_ = -1;
    EndDescendants();
    Note("ended");
}

// Ends every process still below kvlship: a host program the
// distribution started, or a Wine process that outlived its server.
void Sandbox::EndDescendants()
{
    Clock::time_point until = Clock::now() + std::chrono::seconds(5);
    for (;;) {
        std::vector<HostProcess> left = Descendants();
        WatchHostPrograms(left);
        if (left.empty())
            return;
        if (Clock::now() >= until) {
            Fail("end", "processes of the trial would not end: " + left[0].command);
            return;
        }
        for (const HostProcess &process : left)
            kill(process.pid, SIGKILL);
        // Every process the trial started was waited for: whatever ends now
        // is an orphan left to kvlship, reaped here.
        while (waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void Sandbox::AccountForPrefix(TrialResult *result)
{
    std::error_code error;
    if (prefix_.empty() || !fs::exists(prefix_, error))
        return;
    PrefixPlan plan;
    plan.wine = Runner();
    plan.win64 = options_.win64;
    result->keptPrefix = KeptPrefixFolder(plan);
    if (!result->keptPrefix.empty() && fs::exists(result->keptPrefix, error))
        result->keptPrefixBytes = FolderBytes(result->keptPrefix);
    else
        result->keptPrefix.clear();
    result->prefixCopy = prefix_.string();
    result->prefixCopyBytes = FolderBytes(result->prefixCopy);
    result->prefixCopyKept = options_.keep;
    if (!options_.keep) {
        fs::remove_all(prefix_, error);
        if (error)
            Note("cannot remove " + prefix_.string() + ": " + error.message());
        result->prefixCopyKept = error && fs::exists(prefix_);
    }
}

#endif
