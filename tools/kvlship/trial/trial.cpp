#include "trial/trial.h"

#ifdef _WIN32

void RunTrial(const TrialOptions &, TrialResult *result)
{
    *result = TrialResult();
    result->problem = "the trial runs on Linux only: it runs setup.exe under Wine on a private "
                      "Xvfb display";
}

#else

#include "common/hostfs.h"
#include "common/textout.h"
#include "formats/shelllink.h"
#include "trial/judge.h"
#include "trial/process.h"
#include "trial/sandbox.h"
#include "trial/windowlist.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

namespace
{

namespace fs = std::filesystem;

// The captions of the shell's own message boxes; each of them ends the setup.
const char *const kShellCaptions[] = {"KARVELO Setup", "KARVELO - Setup", "KARVELO SETUP"};

constexpr unsigned kWmClose = 0x0010;
constexpr unsigned kDmGetDefId = 0x0400;
constexpr unsigned kDcHasDefId = 0x534B;
constexpr long long kDefPushButton = 0x1;
constexpr int kIdCancel = 2;

// Waits, in seconds. A fresh prefix makes the first start slow.
constexpr double kAgreementWait = 90;
constexpr double kErrorExitWait = 10; // setup.exe ending after its error box was answered
constexpr double kLateChildWait = 3;  // a demonstration seen after setup.exe's end
constexpr double kDemoWindowWait = 20;
constexpr double kBoxRetry = 3;
constexpr double kBoxGiveUp = 15;
constexpr double kButtonsWait = 2;
constexpr double kSettle = 0.5;
constexpr char kUninstallKey[] = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
// The same for 32-bit programs on 64-bit Windows: the registry's 32-bit view.
constexpr char kUninstallKey32[] =
    "HKLM\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr char kShellFoldersKey[] =
    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kCommonShellFoldersKey[] =
    "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr double kDemoSettle = 1.0;
constexpr double kShotWait = 30; // one screenshot
// Where Debian keeps Wine's 64-bit loader (it is not on PATH there).
constexpr char kDebianWine64[] = "/usr/lib/wine/wine64";
constexpr auto kPollPause = std::chrono::milliseconds(100);

// The trial's own folder below C:\\: the copies of the distributions and setup's logs.
constexpr char kDistFolder[] = "kvlship-trial";
// setup.exe's logs, below the trial's folder: the older version's (--over) and this one's.
constexpr char kSetupLogName[] = "setup.log";
constexpr char kOlderLogName[] = "setup-older.log";
constexpr size_t kLogLimit = 1 << 20;
// What the judge reads of one file.
constexpr size_t kLookLimit = 1 << 20;
// Marks a work folder as one a trial made (and may empty again).
constexpr char kWorkMarker[] = ".kvlship-trial";

// ---------------------------------------------------------------------------
// The drive's files before and after.

struct Stamp {
    long long size;
    long long modified; // nanoseconds
};

using Snapshot = std::map<std::string, Stamp>; // path below drive_c, '/' separated

Snapshot TakeSnapshot(const fs::path &drive)
{
    Snapshot snapshot;
    std::error_code error;
    // Symbolic links (Wine's links to the user's own folders) are not followed.
    fs::recursive_directory_iterator walk(drive, fs::directory_options::skip_permission_denied,
                                          error);
    for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
        struct stat info;
        if (lstat(walk->path().c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        snapshot[walk->path().lexically_relative(drive).generic_string()] = {
            static_cast<long long>(info.st_size),
            static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec};
    }
    return snapshot;
}

// A stamp of setup's log (the prefix's local time, which is the host's) as
// the system clock's time; false when it cannot be read.
bool StampTime(const std::string &stamp, std::chrono::system_clock::time_point *when)
{
    struct tm local = {};
    int milliseconds = 0;
    if (sscanf(stamp.c_str(), "%d-%d-%d %d:%d:%d.%d", &local.tm_year, &local.tm_mon, &local.tm_mday,
               &local.tm_hour, &local.tm_min, &local.tm_sec, &milliseconds) != 7)
        return false;
    local.tm_year -= 1900;
    local.tm_mon -= 1;
    local.tm_isdst = -1;
    time_t seconds = mktime(&local);
    if (seconds == static_cast<time_t>(-1))
        return false;
    *when =
        std::chrono::system_clock::from_time_t(seconds) + std::chrono::milliseconds(milliseconds);
    return true;
}

// The host path of `relative` below `drive`, its names matched without
// regard to case as Windows matches them; empty when there is none. Links
// are never followed.
std::string FindOnDrive(const fs::path &drive, const std::string &relative)
{
    fs::path at = drive;
    size_t start = 0;
    while (start < relative.size()) {
        size_t end = relative.find('/', start);
        if (end == std::string::npos)
            end = relative.size();
        std::string name = relative.substr(start, end - start);
        start = end + 1;
        std::error_code error;
        if (fs::exists(fs::symlink_status(at / name, error))) {
            at /= name;
            continue;
        }
        std::string wanted = Lowered(name);
        fs::path found;
        for (fs::directory_iterator it(at, error); !error && it != fs::directory_iterator();
             it.increment(error)) {
            if (Lowered(it->path().filename().string()) == wanted)
                found = it->path();
        }
        if (found.empty())
            return std::string();
        at = found;
    }
    return at.string();
}

// ---------------------------------------------------------------------------
// The trial

struct BoxState {
    Clock::time_point firstAnswer;
    Clock::time_point lastAnswer;
    Clock::time_point seen;
    bool answered = false;
    size_t index = 0; // in result->boxes
};

class Trial
{
  public:
    Trial(const TrialOptions &options, TrialResult *result)
        : options_(options), result_(result), begin_(Clock::now())
    {
        int limit = std::max(options.timeoutSeconds, 10);
        // What is left at the end is for cleaning up.
        double reserve = std::min(20.0, std::max(4.0, limit / 6.0));
        end_ = begin_ + Span(limit);
        driveEnd_ = end_ - Span(reserve);
    }

    void Run()
    {
        result_->win64 = options_.win64;
        if (Prepare() && Going() && StartDisplay() && Going() && MakePrefix() && Going() &&
            CopyDistribution(options_.distribution, "distribution") &&
            (options_.older.empty() || CopyDistribution(options_.older, "older")) && Going()) {
            before_ = TakeSnapshot(drive_);
            Note("prefix ready, " + std::to_string(before_.size()) + " files on C:");
            registeredBefore_ = RegisteredProducts();
            result_->programsFolder =
                ShellFolder(kShellFoldersKey, "Programs", "shell-folders.out");
            result_->commonProgramsFolder =
                ShellFolder(kCommonShellFoldersKey, "Common Programs", "common-folders.out");
            bool ready = options_.older.empty() || InstallOlder();
            if (ready && StartSetup("distribution", setupName_, kSetupLogName)) {
                Drive();
                ReadSetupLog(kSetupLogName, &result_->log, &result_->logPath);
                // What was installed is read and judged before the removal takes it.
                if (result_->exitCode == 0 && result_->problem.empty() && Going()) {
                    CollectInstalled();
                    Judge();
                    Uninstall();
                }
            }
        }
        Shutdown();
        if (!drive_.empty() && !before_.empty() && !collected_)
            CollectInstalled();
        if (result_->started && !drive_.empty()) {
            ReadSetupLog(kSetupLogName, &result_->log, &result_->logPath);
            if (!judged_)
                Judge();
        }
        AccountForPrefix();
        result_->seconds = Seconds(Clock::now() - begin_).count();
    }

    // What the trial leaves on disk: the kept prefix (one per Wine and kind)
    // always; its own copy only when asked to (--keep), for it is as large.
    void AccountForPrefix()
    {
        std::error_code error;
        if (prefix_.empty() || !fs::exists(prefix_, error))
            return;
        PrefixPlan plan;
        plan.wine = Runner();
        plan.win64 = options_.win64;
        result_->keptPrefix = KeptPrefixFolder(plan);
        if (!result_->keptPrefix.empty() && fs::exists(result_->keptPrefix, error))
            result_->keptPrefixBytes = FolderBytes(result_->keptPrefix);
        else
            result_->keptPrefix.clear();
        result_->prefixCopy = prefix_.string();
        result_->prefixCopyBytes = FolderBytes(result_->prefixCopy);
        result_->prefixCopyKept = options_.keep;
        if (!options_.keep) {
            fs::remove_all(prefix_, error);
            if (error)
                Note("cannot remove " + prefix_.string() + ": " + error.message());
            result_->prefixCopyKept = error && fs::exists(prefix_);
        }
    }

  private:
    // -- preparing ------------------------------------------------------------

    // False once a stop signal came: the trial goes no further.
    bool Going() { return !g_stopSignal || Fail("stopped"); }

    bool Fail(const std::string &problem)
    {
        Note("problem: " + problem);
        // A wait cut short by a stop signal fails for that reason alone.
        if (result_->problem.empty() && g_stopSignal)
            result_->problem = std::string("the trial was stopped by ") + SignalName(g_stopSignal);
        if (result_->problem.empty())
            result_->problem = problem;
        return false;
    }

    // A line of logs/trial.log: what the trial did when, for whoever wonders
    // why a run went as it did.
    void Note(const std::string &text)
    {
        if (logs_.empty())
            return;
        FILE *file = fopen((logs_ / "trial.log").c_str(), "ab");
        if (!file)
            return;
        fprintf(file, "%7.1f s  %s\n", Since(begin_), text.c_str());
        fclose(file);
    }

    bool Prepare()
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
            return Fail("the trial needs programs that are not installed: " + missing);
        std::error_code ignored;
        wineFolder_ = fs::canonical(wineserver_, ignored).parent_path();
        std::error_code error;
        if (!fs::is_regular_file(options_.winlist, error))
            return Fail("winlist.exe not found at " + options_.winlist);
        if (!fs::is_directory(options_.distribution, error))
            return Fail("the distribution folder " + options_.distribution + " does not exist");
        setupName_ = FindSetup(options_.distribution);
        if (setupName_.empty())
            return Fail("the distribution folder " + options_.distribution + " holds no setup.exe");
        if (!options_.older.empty()) {
            if (!fs::is_directory(options_.older, error))
                return Fail("the older distribution folder " + options_.older + " does not exist");
            olderSetupName_ = FindSetup(options_.older);
            if (olderSetupName_.empty())
                return Fail("the older distribution folder " + options_.older +
                            " holds no setup.exe");
        }
        // The prefix has no drive but C:, and setup.exe takes only a complete folder.
        if (!options_.destination.empty() && WindowsToDrive(options_.destination).empty())
            return Fail("the destination " + options_.destination +
                        " is not a complete path on drive C:, the trial prefix's only drive");
        if (options_.work.empty())
            return Fail("no work folder given");
        return MakeFolders();
    }

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

    // The work folder is emptied of what an earlier trial left, so it must
    // be new, empty or one a trial made: anything else may be someone's files.
    bool MakeFolders()
    {
        std::error_code error;
        work_ = fs::weakly_canonical(fs::absolute(options_.work), error);
        fs::path distribution;
        if (!error)
            distribution = fs::weakly_canonical(fs::absolute(options_.distribution), error);
        if (error)
            return Fail("cannot resolve the folders: " + error.message());
        if (Inside(work_, distribution) || Inside(distribution, work_))
            return Fail("the work folder and the distribution folder must not hold each other");
        if (!options_.older.empty()) {
            fs::path older = fs::weakly_canonical(fs::absolute(options_.older), error);
            if (!error && (Inside(work_, older) || Inside(older, work_)))
                return Fail("the work folder and the older distribution folder must not hold "
                            "each other");
        }
        fs::path marker = work_ / kWorkMarker;
        if (fs::exists(work_, error) && !fs::is_empty(work_, error) && !fs::exists(marker, error))
            return Fail("the work folder " + work_.string() +
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
                return Fail("cannot empty " + folder.string() + ": " + error.message());
        }
        for (const fs::path &folder : {shots_, logs_, home_}) {
            if (!fs::create_directories(folder, error) || error)
                return Fail("cannot make " + folder.string() + ": " + error.message());
        }
        if (!WriteWholeFile(marker.string(), "kvlship try works here\n"))
            return Fail("cannot write in " + work_.string());
        wineLog_ = (logs_ / "wine.log").string();
        return true;
    }

    static bool Inside(const fs::path &inner, const fs::path &outer)
    {
        return PathInside(inner.string(), outer.string());
    }

    // What every Wine program of the run gets: its own prefix, display and
    // home (so that nothing reaches the user's own folders or menus).
    std::vector<std::string> WineEnv() const
    {
        return {"WINEPREFIX=" + prefix_.string(),
                std::string("WINEARCH=") + (options_.win64 ? "win64" : "win32"), "WINEDEBUG=-all",
                // No offer to install Mono or Gecko (a window that waits
                // forever), and no menu entries on the host for the links.
                "WINEDLLOVERRIDES=mscoree,mshtml=;winemenubuilder.exe=d", "DISPLAY=" + display_,
                "HOME=" + home_.string(), "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME",
                "WAYLAND_DISPLAY"};
    }

    WineRunner Runner() const { return {loader_, WineEnv(), wineLog_}; }

    Command Wine(std::vector<std::string> args, const std::string &output) const
    {
        return Runner().Make(std::move(args), output);
    }

    bool StartDisplay()
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return Fail("cannot make a pipe for Xvfb");
        // The number must not be 0-2, which the child's own files take.
        int writeEnd = fcntl(fds[1], F_DUPFD_CLOEXEC, 10);
        close(fds[1]);
        Command command{{xvfb_, "-displayfd", std::to_string(writeEnd), "-screen", "0",
                         "1024x768x24", "-nolisten", "tcp", "-noreset"},
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
            return Fail("Xvfb did not start (see " + (logs_ / "xvfb.log").string() + ")");
        display_ = ":" + number;
        return true;
    }

    // The display number Xvfb writes when it is ready; empty if it does not
    // within 20 s.
    std::string ReadDisplayNumber(int fd)
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
    bool MakePrefix()
    {
        PrefixPlan plan;
        plan.prefix = prefix_.string();
        plan.work = work_.string();
        plan.distFolder = kDistFolder;
        plan.wine = Runner();
        plan.wineserver = wineserver_;
        plan.win64 = options_.win64;
        plan.deadline = driveEnd_;
        std::string problem;
        bool made = MakeTrialPrefix(
            plan, [this](const std::string &text) { Note(text); }, &problem);
        drive_ = prefix_ / "drive_c";
        if (!made)
            return Fail(problem);
        // winlist.exe runs from C:, not from its host path: a 64-bit Wine
        // starts a 32-bit program only through a drive, and there is no
        // drive to the host.
        winlistExe_ = std::string("C:\\") + kDistFolder + "\\winlist.exe";
        std::error_code error;
        fs::create_directories(drive_ / kDistFolder, error);
        if (!CopyPlainFile(options_.winlist, (drive_ / kDistFolder / "winlist.exe").string()))
            return Fail("cannot copy " + options_.winlist + " into the prefix");
        winlist_.Setup(Runner(), winlistExe_, (logs_ / "winlist.out").string(), driveEnd_);
        return true;
    }

    // Plain files and real folders only: a link could bring any host folder
    // into the prefix, and a device or FIFO never ends.
    bool CopyDistribution(const std::string &folder, const char *name)
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
            else if (!CopyPlainFile(walk->path().string(), to.string()))
                return Fail("cannot copy " + walk->path().string() + " into the prefix");
        }
        if (error)
            return Fail("cannot copy the distribution into the prefix: " + error.message());
        return true;
    }

    // -- running setup.exe ------------------------------------------------------

    // --over: the older version, installed first as a user had it before the
    // upgrade. Its screenshots and boxes join the report; it must end as a
    // complete installation, or there is nothing to upgrade.
    bool InstallOlder()
    {
        TrialResult older;
        TrialResult *own = result_;
        result_ = &older;
        stagePrefix_ = "older-";
        bool started = StartSetup("older", olderSetupName_, kOlderLogName);
        if (started)
            Drive();
        ReadSetupLog(kOlderLogName, &older.log, &older.logPath);
        CloseDemonstration();
        result_ = own;
        stagePrefix_.clear();
        result_->screenshots = older.screenshots;
        result_->boxes = older.boxes;
        result_->faults = older.faults;
        result_->hostPrograms = older.hostPrograms;
        for (const std::string &program : older.otherPrograms)
            result_->otherPrograms.push_back(program);
        result_->olderExitCode = older.exitCode;
        result_->olderLog = older.log;
        result_->olderLogPath = older.logPath;
        result_->olderDestination = LoggedDestination(older.log);
        if (!started || older.exitCode != 0 || !older.problem.empty())
            return Fail("the older version (--over) did not install: " +
                        (!older.problem.empty() ? older.problem
                                                : "its setup.exe ended with exit code " +
                                                      std::to_string(older.exitCode)));
        Note("the older version is installed in " + result_->olderDestination);
        ResetRun();
        return Going();
    }

    // Forgets what was seen of the previous setup.exe.
    void ResetRun()
    {
        if (launcherPid_ > 0)
            Stop(launcherPid_, 2);
        launcherPid_ = -1;
        setupPid_ = demoPid_ = -1;
        setupEnded_ = boxSeen_ = presentationGone_ = false;
        sawPreparing_ = sawCopying_ = sawShortcuts_ = false;
        agreePosts_ = 0;
        endedAt_ = agreedAt_ = errorAt_ = Clock::time_point();
        boxes_.clear();
        launchError_.clear();
    }

    // Starts setup.exe of the distribution copied to C:\kvlship-trial\<folder>.
    bool StartSetup(const char *folder, const std::string &setupName, const char *logName)
    {
        std::vector<std::string> env = BaseEnvironment();
        // Every process started from now on, with what it was started with.
        if (watcherPid_ <= 0) {
            watcherOut_ = (logs_ / "processes.out").string();
            int watchSeconds = std::max(1, static_cast<int>(Seconds(end_ - Clock::now()).count()));
            watcherPid_ = Spawn(
                Wine({winlistExe_, "processes", std::to_string(watchSeconds)}, watcherOut_), env);
            watcher_.Open(watcherOut_);
        }

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
        Note("starting " + commandLine);
        launchOut_ = (logs_ / (std::string(folder) + "-launch.out")).string();
        Command launch = Wine({winlistExe_, "launch"}, launchOut_);
        launch.extraEnv.push_back("WINLIST_CMDLINE=" + commandLine);
        launch.extraEnv.push_back("WINLIST_CWD=" + distWindows);
        launcherPid_ = Spawn(launch, env);
        launch_.Open(launchOut_);
        if (launcherPid_ < 0)
            return Fail("cannot start wine");

        Clock::time_point until = std::min(driveEnd_, Clock::now() + std::chrono::seconds(60));
        while (Clock::now() < until && Going()) {
            ReadLaunch();
            if (setupPid_ > 0) {
                result_->started = true;
                Note("setup.exe runs as process " + std::to_string(setupPid_));
                return true;
            }
            if (!launchError_.empty())
                return Fail("setup.exe could not be started: " + launchError_);
            if (WaitUntil(launcherPid_, Clock::now()) != -2) {
                launcherPid_ = -1;
                return Fail("Wine ended before setup.exe started (see " + wineLog_ + ")");
            }
            std::this_thread::sleep_for(kPollPause);
        }
        return Fail("setup.exe did not start within 60 s");
    }

    void ReadLaunch()
    {
        for (const std::string &line : launch_.NewLines()) {
            JsonFields fields;
            if (!ParseJsonLine(line, &fields))
                continue;
            if (fields.Has("pid"))
                setupPid_ = fields.Number("pid");
            if (fields.Has("exit")) {
                setupEnded_ = true;
                Note("setup.exe ended with exit code " + std::to_string(fields.Number("exit")));
                endedAt_ = Clock::now();
                endedWall_ = std::chrono::system_clock::now();
                result_->exitCode = static_cast<int>(fields.Number("exit"));
            }
            if (fields.Has("error"))
                launchError_ =
                    fields.Text("error") + " (code " + std::to_string(fields.Number("code")) + ")";
        }
    }

    // The demonstration is the program that setup.exe starts the way the
    // shell starts it (IsShellDemo); any other program setup.exe starts is
    // its module's doing, listed but not taken for the demonstration.
    void ReadProcesses()
    {
        for (const std::string &line : watcher_.NewLines()) {
            JsonFields fields;
            if (!ParseJsonLine(line, &fields) || fields.Number("parent", -1) != setupPid_ ||
                IsWineHelper(fields))
                continue;
            std::string command = fields.Text("cmdline");
            if (fields.Number("gone")) {
                Note("setup.exe started a program that ended before it could be read");
                continue;
            }
            std::string folder = fields.Text("cwd");
            if (!IsShellDemo(command, folder)) {
                Note("setup.exe (its module) started " + command);
                result_->otherPrograms.push_back(command);
                continue;
            }
            demoPid_ = fields.Number("pid");
            result_->demoCommand = command;
            Note("setup.exe started the demonstration " + command);
            // The process keeps its folder with a final backslash; a root keeps it.
            if (folder.size() > 3 && folder.back() == '\\')
                folder.pop_back();
            result_->demoFolder = folder;
        }
    }

    std::vector<TopWindow> ListWindows() { return winlist_.List(); }

    std::string Winlist(const std::vector<std::string> &args) { return winlist_.Call(args); }

    // A picture of the whole screen as screenshots/NN-NAME.png.
    std::string Shoot(const std::string &name)
    {
        char number[16];
        snprintf(number, sizeof number, "%02d-", ++shotCount_);
        std::string path = (shots_ / (number + stagePrefix_ + name + ".png")).string();
        Command command{{import_, "-display", display_, "-window", "root", path},
                        "",
                        "",
                        (logs_ / "import.log").string(),
                        {}};
        Note("screenshot " + path);
        if (RunCommand(command, BaseEnvironment(), kShotWait, driveEnd_) == 0 && fs::exists(path)) {
            result_->screenshots.push_back(path);
            return path;
        }
        return std::string();
    }

    double Since(Clock::time_point then) const { return Seconds(Clock::now() - then).count(); }

    void Drive()
    {
        Clock::time_point started = Clock::now();
        for (;;) {
            if (g_stopSignal) {
                Fail("stopped");
                return;
            }
            if (Clock::now() >= driveEnd_) {
                result_->timedOut = true;
                Fail("the trial ran out of time (" + std::to_string(options_.timeoutSeconds) +
                     " s)");
                return;
            }
            WatchHostPrograms(Descendants());
            ReadLaunch();
            ReadProcesses();
            std::vector<TopWindow> windows = ListWindows();
            ReadLaunch();
            if (!HandleBoxes(windows))
                return;
            Agree(windows);
            PhotographStages(windows);
            if (Finished(started)) {
                TellEarlyEnd();
                return;
            }
            std::this_thread::sleep_for(kPollPause);
        }
    }

    // A setup that ended by itself before its work was done says so.
    void TellEarlyEnd()
    {
        // A silent setup shows no stage; its exit code and log tell how it ended.
        if (!setupEnded_ || options_.silent)
            return;
        if (!agreePosts_)
            Fail("setup.exe ended before its agreement dialog");
        else if (!sawShortcuts_)
            Fail("setup.exe ended before the copy was done");
    }

    // True when there is nothing more to wait for.
    bool Finished(Clock::time_point started)
    {
        if (errorAt_ != Clock::time_point())
            return setupEnded_ || Since(errorAt_) > kErrorExitWait;
        if (!setupEnded_) {
            if (!options_.silent && !agreePosts_ && !boxSeen_ && Since(started) > kAgreementWait)
                return !Fail("the agreement dialog did not appear within " +
                             std::to_string(static_cast<int>(kAgreementWait)) + " s");
            return false;
        }
        if (result_->demoShown)
            return true;
        if (demoPid_ > 0)
            return Since(endedAt_) > kDemoWindowWait;
        return Since(endedAt_) > kLateChildWait;
    }

    void Agree(const std::vector<TopWindow> &windows)
    {
        const TopWindow *dialog = nullptr;
        for (const TopWindow &top : windows)
            if (top.frame.visible && top.IsPresentation())
                dialog = &top;
        if (!dialog) {
            if (agreePosts_ && !presentationGone_) {
                presentationGone_ = true;
                result_->agreed = true;
            }
            return;
        }
        if (agreePosts_ && (Since(agreedAt_) < kBoxRetry || agreePosts_ >= 3))
            return;
        if (!agreePosts_) {
            Pause(kSettle);
            Shoot("agreement");
        }
        Note("pressing I Agree");
        Winlist({"command", dialog->frame.hwnd, std::to_string(kAgreeButton)});
        ++agreePosts_;
        agreedAt_ = Clock::now();
    }

    void PhotographStages(const std::vector<TopWindow> &windows)
    {
        for (const TopWindow &top : windows) {
            if (!top.frame.visible)
                continue;
            if (!sawPreparing_ && top.IsStatus("Preparing")) {
                sawPreparing_ = true;
                Pause(kSettle);
                Shoot("preparing");
            } else if (!sawCopying_ && top.frame.pid == setupPid_ && top.Shows(kCopyClass)) {
                sawCopying_ = true;
                Pause(kSettle);
                Shoot("copying");
            } else if (!sawShortcuts_ && top.IsStatus("Creating Shortcuts")) {
                sawShortcuts_ = true;
                result_->copied = true;
                Pause(kSettle);
                Shoot("shortcuts");
            } else if (!result_->demoShown && demoPid_ > 0 && top.frame.pid == demoPid_) {
                result_->demoShown = true;
                Pause(kDemoSettle);
                Shoot("demonstration");
            }
        }
        // The preparing dialog shows after the agreement only.
        if (sawPreparing_ && agreePosts_)
            result_->agreed = true;
    }

    // -- boxes ------------------------------------------------------------------

    // A dialog that is neither the agreement nor a status dialog: a message
    // box of the shell or the module, or a program's own. A dialog of the
    // demonstration that no window owns is its main window, left alone.
    bool IsBox(const TopWindow &top) const
    {
        bool demoWindow = demoPid_ > 0 && top.frame.pid == demoPid_ && IsNull(top.frame.owner);
        return top.frame.visible && top.IsDialog() && !demoWindow && !top.IsPresentation() &&
               !top.IsStatus("Preparing") && !top.IsStatus("Creating Shortcuts");
    }

    static bool IsNull(const std::string &handle)
    {
        return strtoull(handle.c_str(), nullptr, 16) == 0;
    }

    bool IsShellError(const TopWindow &top) const
    {
        if (top.frame.pid != setupPid_ || top.Buttons().size() != 1)
            return false;
        for (const char *caption : kShellCaptions)
            if (top.frame.text == caption)
                return true;
        return false;
    }

    // Answers every box on screen. Returns false when the run must end now.
    bool HandleBoxes(const std::vector<TopWindow> &windows)
    {
        for (const TopWindow &top : windows) {
            if (!IsBox(top))
                continue;
            boxSeen_ = true;
            auto known = boxes_.find(top.frame.hwnd);
            if (known == boxes_.end()) {
                BoxState state;
                state.seen = Clock::now();
                known = boxes_.emplace(top.frame.hwnd, state).first;
            }
            BoxState &state = known->second;
            // A dialog shows its buttons as it appears; one without any gets a moment.
            if (!state.answered && top.Buttons().empty() && Since(state.seen) < kButtonsWait)
                continue;
            if (!state.answered) {
                FirstAnswer(top, &state);
                continue;
            }
            if (Since(state.firstAnswer) > kBoxGiveUp)
                return Fail("the box \"" + top.frame.text + "\" did not go away when answered");
            if (Since(state.lastAnswer) > kBoxRetry) {
                Answer(top, result_->boxes[state.index].answer.empty() ? -1 : AnswerId(top));
                state.lastAnswer = Clock::now();
            }
        }
        return true;
    }

    void FirstAnswer(const TopWindow &top, BoxState *state)
    {
        TrialBox box;
        box.caption = top.frame.text;
        box.text = top.StaticTexts();
        box.error = IsShellError(top);
        box.screenshot = Shoot("box");
        int id = AnswerId(top);
        for (const Window *button : top.Buttons())
            if (button->id == id)
                box.answer = WithoutAmpersands(button->text);
        Note("box \"" + box.caption + "\": " + box.text + " -> " +
             (box.answer.empty() ? std::string("closed") : box.answer));
        Answer(top, box.answer.empty() ? -1 : id);
        state->answered = true;
        state->firstAnswer = state->lastAnswer = Clock::now();
        state->index = result_->boxes.size();
        result_->boxes.push_back(box);
        BoxOwner owner = top.frame.pid == setupPid_                  ? BoxOwner::Setup
                         : demoPid_ > 0 && top.frame.pid == demoPid_ ? BoxOwner::Demonstration
                                                                     : BoxOwner::Other;
        std::string fault = UnexpectedBoxFault(owner, box.caption, box.text);
        if (!fault.empty())
            result_->faults.push_back(fault);
        if (box.error) {
            errorAt_ = Clock::now();
            Fail("setup.exe showed the error \"" + box.text + "\" (" + box.caption + ")");
        }
    }

    // The button a person pressing Enter would press: the dialog's default
    // when it is one of its buttons, else the default push button, the only
    // button, Cancel, the first.
    int AnswerId(const TopWindow &top)
    {
        std::vector<const Window *> buttons = top.Buttons();
        JsonFields fields;
        std::string reply =
            Winlist({"send", top.frame.hwnd, std::to_string(kDmGetDefId), "0", "0", "2000"});
        if (ParseJsonLine(reply.substr(0, reply.find('\n')), &fields) && fields.Has("result")) {
            unsigned long long value = static_cast<unsigned long long>(fields.Number("result"));
            int id = static_cast<int>(value & 0xFFFF);
            // Wine's message boxes name IDOK even when they have no such button.
            for (const Window *button : buttons)
                if (((value >> 16) & 0xFFFF) == kDcHasDefId && button->id == id)
                    return id;
        }
        for (const Window *button : buttons)
            if ((button->style & 0xF) == kDefPushButton)
                return button->id;
        if (buttons.size() == 1)
            return buttons[0]->id;
        for (const Window *button : buttons)
            if (button->id == kIdCancel)
                return kIdCancel;
        return buttons.empty() ? -1 : buttons[0]->id;
    }

    // Presses button `id`; a dialog without one is asked to close.
    void Answer(const TopWindow &top, int id)
    {
        if (id >= 0)
            Winlist({"command", top.frame.hwnd, std::to_string(id)});
        else
            Winlist({"post", top.frame.hwnd, std::to_string(kWmClose), "0", "0"});
    }

    // -- the end ----------------------------------------------------------------

    void Shutdown()
    {
        Note("ending Wine and the display");
        // Wine is always ended, even past the time limit or after a stop
        // signal: its waits are bounded here by their own limits.
        g_endingAll = true;
        std::vector<std::string> env = BaseEnvironment();
        if (!display_.empty() && fs::exists(prefix_))
            RunCommand({{wineserver_, "-k"}, "", "", wineLog_, WineEnv()}, env, 10,
                       Clock::time_point::max());
        for (pid_t *pid : {&launcherPid_, &watcherPid_}) {
            Stop(*pid, 2);
            *pid = -1;
        }
        ReadLaunch();
        ReadProcesses();
        // Waits for the server to be gone, so that the drive is looked at as it stays.
        if (!display_.empty() && fs::exists(prefix_))
            RunCommand({{wineserver_, "-w"}, "", "", wineLog_, WineEnv()}, env, 5,
                       Clock::time_point::max());
        Stop(xvfbPid_, 3);
        xvfbPid_ = -1;
        EndDescendants();
        Note("ended");
    }

    // Ends every process still below kvlship: a host program the
    // distribution started, or a Wine process that outlived its server.
    void EndDescendants()
    {
        Clock::time_point until = Clock::now() + std::chrono::seconds(5);
        for (;;) {
            std::vector<HostProcess> left = Descendants();
            WatchHostPrograms(left);
            if (left.empty())
                return;
            if (Clock::now() >= until) {
                Fail("processes of the trial would not end: " + left[0].command);
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

    // Notes each host program among `processes` that is none of Wine's and
    // that the trial did not start (nor a program it started): one that a
    // Windows program of the run started, which no Windows installation does.
    void WatchHostPrograms(const std::vector<HostProcess> &processes)
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
            Note("a host program runs below the trial: " + process.exe + " (" + process.command +
                 ")");
            result_->hostPrograms.push_back(process.command.empty() ? process.exe
                                                                    : process.command);
        }
    }

    void CollectInstalled()
    {
        collected_ = true;
        Snapshot after = TakeSnapshot(drive_);
        for (const auto &[relative, stamp] : after) {
            auto old = before_.find(relative);
            if (IsChurn(relative, kDistFolder) ||
                (old != before_.end() && old->second.size == stamp.size &&
                 old->second.modified == stamp.modified))
                continue;
            TrialFile file{DriveToWindows(relative), (drive_ / relative).string(), stamp.size};
            result_->installed.push_back(file);
            if (Lowered(relative).size() > 4 &&
                Lowered(relative).compare(relative.size() - 4, 4, ".lnk") == 0)
                result_->shortcuts.push_back(ReadShortcut(file));
        }
        // C:\ paths sort as a person reads them: by their Windows names.
        auto byPath = [](const auto &a, const auto &b) { return a.windowsPath < b.windowsPath; };
        std::sort(result_->installed.begin(), result_->installed.end(), byPath);
        std::sort(result_->shortcuts.begin(), result_->shortcuts.end(), byPath);
    }

    // -- removal -----------------------------------------------------------------

    // The products registered under Add/Remove Programs, by key: in a 64-bit
    // prefix both views, a 32-bit setup's being the 32-bit one (Wow6432Node).
    std::map<std::string, RegistryKey> RegisteredProducts()
    {
        std::map<std::string, RegistryKey> found;
        std::vector<const char *> keys = {kUninstallKey};
        if (options_.win64)
            keys.push_back(kUninstallKey32);
        for (const char *key : keys) {
            // The key itself is listed first; its products are below it.
            std::string root = "HKEY_LOCAL_MACHINE" + std::string(key).substr(strlen("HKLM"));
            for (const RegistryKey &product : Query(key, "uninstall-keys.out")) {
                if (Lowered(product.name) != Lowered(root))
                    found[product.name] = product;
            }
        }
        return found;
    }

    // `reg query KEY /s`, read; nothing when the key is not there.
    std::vector<RegistryKey> Query(const char *key, const char *output, const char *value = nullptr)
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
        if (!ReadWholeFile(out, &text, false, kLogLimit))
            return {};
        return ParseRegQuery(text);
    }

    // A folder of the prefix's Start menu: the user's Programs, or all users'
    // ("Common Programs"), where the stock module makes its program group.
    std::string ShellFolder(const char *key, const char *value, const char *output)
    {
        for (const RegistryKey &found : Query(key, output, value)) {
            auto folder = found.values.find(value);
            if (folder != found.values.end())
                return folder->second;
        }
        return std::string();
    }

    // Runs the quiet removal of every product this setup registered, then
    // notes each file the installation created that is still there, and each
    // key still registered.
    void Uninstall()
    {
        result_->uninstallTried = true;
        CloseDemonstration();
        std::map<std::string, RegistryKey> now = RegisteredProducts();
        bool registered = false;
        for (const auto &[key, product] : now)
            registered = registered || !registeredBefore_.count(key);
        // Registration is a module's choice: without it nothing can remove
        // the product, so nothing it installed counts as left behind.
        if (!registered) {
            result_->registeredNone = true;
            return;
        }
        for (const auto &[key, product] : now) {
            if (registeredBefore_.count(key))
                continue;
            auto quiet = product.values.find("QuietUninstallString");
            std::string command = quiet == product.values.end() ? "" : quiet->second;
            if (command.empty()) {
                result_->leftBehind.push_back(key + " (registered with no QuietUninstallString)");
                continue;
            }
            Note("removing with " + command);
            result_->uninstallCommands.push_back(command);
            result_->uninstallExitCodes.push_back(RunRemoval(command));
        }
        // The uninstaller answers before its last work (its own file, the
        // emptied folders) is done: what is left is looked at until it is
        // gone, or for a few seconds.
        Clock::time_point until = std::min(end_, Clock::now() + std::chrono::seconds(10));
        std::vector<std::string> left;
        do {
            left.clear();
            for (const TrialFile &file : result_->installed) {
                std::error_code error;
                if (fs::exists(fs::symlink_status(file.hostPath, error)) &&
                    !WrittenByTheDemonstration(file))
                    left.push_back(file.windowsPath);
            }
            if (!left.empty())
                std::this_thread::sleep_for(kPollPause);
        } while (!left.empty() && Clock::now() < until && Going());
        result_->leftBehind = left;
        for (const auto &[key, product] : RegisteredProducts()) {
            if (!registeredBefore_.count(key))
                result_->leftBehind.push_back(key);
        }
    }

    // A file the demonstration wrote is the product's doing, not the
    // installation's, and no removal takes it: setup starts the
    // demonstration last, so a file changed since setup's log says it did is
    // taken for the demonstration's. Without that line: since a second
    // before setup was seen to end (it starts the demonstration a second and
    // more after its final writes, the 32-tick pause).
    bool WrittenByTheDemonstration(const TrialFile &file) const
    {
        struct stat seen;
        if (result_->demoCommand.empty() || lstat(file.hostPath.c_str(), &seen) != 0)
            return false;
        std::chrono::system_clock::time_point since;
        if (!StampTime(LoggedStamp(result_->log, "demonstration started: "), &since))
            since = endedWall_ - std::chrono::seconds(1);
        return std::chrono::system_clock::from_time_t(seen.st_mtime) +
                   std::chrono::nanoseconds(seen.st_mtim.tv_nsec) >=
               since;
    }

    // A demonstration left open holds its program: it is closed first, as a
    // person would before removing the product.
    void CloseDemonstration()
    {
        if (demoPid_ <= 0)
            return;
        for (const TopWindow &top : ListWindows()) {
            if (top.frame.pid == demoPid_)
                Winlist({"post", top.frame.hwnd, "16", "0", "0"});
        }
        Clock::time_point until = std::min(end_, Clock::now() + std::chrono::seconds(10));
        while (Clock::now() < until && Going()) {
            bool open = false;
            for (const TopWindow &top : ListWindows())
                open = open || top.frame.pid == demoPid_;
            if (!open)
                return;
            std::this_thread::sleep_for(kPollPause);
        }
    }

    // Starts one removal command line as setup was started, waits for its end
    // and returns its exit code, or -1.
    int RunRemoval(const std::string &commandLine)
    {
        std::string out = (logs_ / "uninstall-launch.out").string();
        Command launch = Wine({winlistExe_, "launch"}, out);
        launch.extraEnv.push_back("WINLIST_CMDLINE=" + commandLine);
        launch.extraEnv.push_back("WINLIST_CWD=C:\\");
        Clock::time_point until = std::min(end_, Clock::now() + std::chrono::seconds(120));
        pid_t pid = Spawn(launch, BaseEnvironment());
        if (pid < 0 || WaitUntil(pid, until) == -2)
            return -1;
        FileTail reader;
        reader.Open(out);
        int code = -1;
        for (const std::string &line : reader.NewLines()) {
            JsonFields fields;
            if (ParseJsonLine(line, &fields) && fields.Has("exit"))
                code = static_cast<int>(fields.Number("exit"));
        }
        Note("the removal ended with exit code " + std::to_string(code));
        return code;
    }

    // setup.exe's log, kept in logs/ beside the trial's own and read into
    // the report: never through a link, and no more than kLogLimit bytes.
    void ReadSetupLog(const char *name, std::vector<std::string> *log, std::string *path)
    {
        std::string from = (drive_ / kDistFolder / name).string();
        std::string kept = (logs_ / name).string();
        log->clear();
        if (!CopyPlainFile(from, kept)) {
            Note("setup.exe left no log at " + from);
            return;
        }
        *path = kept;
        FILE *file = OpenPlainFile(kept, false);
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
            log->push_back(line);
        }
    }

    // -- judging -----------------------------------------------------------------

    // The destination the run settled on (setup's log, else the location
    // the product registered), then the caller's judgement of the drive.
    void Judge()
    {
        judged_ = true;
        result_->destination = LoggedDestination(result_->log);
        if (result_->destination.empty())
            result_->destination = RegisteredLocation();
        if (!options_.judge)
            return;
        DriveLook look = [this](const std::string &windowsPath, long long *size,
                                std::string *bytes) {
            std::string relative = WindowsToDrive(windowsPath);
            std::string host = relative.empty() ? std::string() : FindOnDrive(drive_, relative);
            struct stat info;
            if (host.empty() || lstat(host.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
                return false;
            *size = static_cast<long long>(info.st_size);
            return !bytes || ReadWholeFile(host, bytes, false, kLookLimit);
        };
        options_.judge(look, result_);
    }

    // InstallLocation of a product this run registered; empty when none did.
    std::string RegisteredLocation()
    {
        for (const auto &[key, product] : RegisteredProducts()) {
            auto location = product.values.find("InstallLocation");
            if (!registeredBefore_.count(key) && location != product.values.end())
                return location->second;
        }
        return std::string();
    }

    static TrialShortcut ReadShortcut(const TrialFile &file)
    {
        TrialShortcut shortcut;
        shortcut.windowsPath = file.windowsPath;
        ShellLink link;
        if (!ReadShellLinkFile(file.hostPath, &link, &shortcut.problem))
            return shortcut;
        shortcut.target = link.target;
        shortcut.arguments = link.arguments;
        shortcut.workingFolder = link.workingFolder;
        shortcut.description = link.description;
        return shortcut;
    }

    const TrialOptions &options_;
    TrialResult *result_;
    Clock::time_point begin_, end_, driveEnd_;

    std::string wine_, loader_, wineserver_, xvfb_, import_;
    std::string setupName_, olderSetupName_, display_, wineLog_;
    WinlistTool winlist_;
    std::string winlistExe_;  // its copy on C:
    std::string stagePrefix_; // before each screenshot's name: "older-" for --over's first run
    bool judged_ = false;
    fs::path work_, prefix_, shots_, logs_, home_, drive_;
    Snapshot before_;

    pid_t xvfbPid_ = -1, launcherPid_ = -1, watcherPid_ = -1;
    std::string launchOut_, watcherOut_, launchError_;
    FileTail launch_, watcher_;

    long long setupPid_ = -1, demoPid_ = -1;
    std::map<std::string, RegistryKey> registeredBefore_; // Add/Remove Programs keys
    bool collected_ = false;
    std::chrono::system_clock::time_point endedWall_; // when setup.exe was seen to end
    bool setupEnded_ = false, boxSeen_ = false;
    Clock::time_point endedAt_, agreedAt_, errorAt_;
    int agreePosts_ = 0;
    bool presentationGone_ = false;
    bool sawPreparing_ = false, sawCopying_ = false, sawShortcuts_ = false;
    std::map<std::string, BoxState> boxes_;
    int shotCount_ = 0;
    fs::path wineFolder_;      // where Wine's own programs are: its loader, its server
    std::set<pid_t> hostSeen_; // host programs already noted
};

} // namespace

void RunTrial(const TrialOptions &options, TrialResult *result)
{
    *result = TrialResult();
    // A child that ends while we wait must stay ours to reap.
    signal(SIGCHLD, SIG_DFL);
    // Every process of the run stays below kvlship, even one that leaves its
    // parent, so that the end of the trial finds and ends them all.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    // A stop signal ends the trial the way its time limit does: Wine, the
    // display and every program of the run are ended first.
    const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction stop = {}, before[3];
    stop.sa_handler = OnStopSignal;
    sigemptyset(&stop.sa_mask);
    for (int i = 0; i < 3; ++i)
        sigaction(kStopSignals[i], &stop, &before[i]);
    g_stopSignal = 0;
    g_endingAll = false;
    Trial(options, result).Run();
    for (int i = 0; i < 3; ++i)
        sigaction(kStopSignals[i], &before[i], nullptr);
    prctl(PR_SET_CHILD_SUBREAPER, 0);
    result->stopSignal = g_stopSignal;
}

#endif