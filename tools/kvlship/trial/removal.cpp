// The removal that follows a complete installation (see removal.h).
#include "trial/removal.h"

#ifndef _WIN32

#include "common/textout.h"

#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <thread>

namespace
{

namespace fs = std::filesystem;

constexpr char kUninstallKey[] = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
// The same for 32-bit programs on 64-bit Windows: the registry's 32-bit view.
constexpr char kUninstallKey32[] =
    "HKLM\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr auto kPollPause = std::chrono::milliseconds(100);

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

// A file the demonstration wrote is the product's doing, not the
// installation's, and no removal takes it: setup starts the
// demonstration last, so a file changed since setup's log says it did is
// taken for the demonstration's. Without that line: since a second
// before setup was seen to end (it starts the demonstration a second and
// more after its final writes, the 32-tick pause).
bool WrittenByTheDemonstration(const TrialFile &file, const SetupRun &run)
{
    struct stat seen;
    if (run.record.demoCommand.empty() || lstat(file.hostPath.c_str(), &seen) != 0)
        return false;
    std::chrono::system_clock::time_point since;
    if (!StampTime(LoggedStamp(run.record.log, "demonstration started: "), &since))
        since = run.process.endedWall - std::chrono::seconds(1);
    return std::chrono::system_clock::from_time_t(seen.st_mtime) +
               std::chrono::nanoseconds(seen.st_mtim.tv_nsec) >=
           since;
}

} // namespace

// The products registered under Add/Remove Programs, by key: in a 64-bit
// prefix both views, a 32-bit setup's being the 32-bit one (Wow6432Node).
std::map<std::string, RegistryKey> Removal::Registered()
{
    std::map<std::string, RegistryKey> found;
    std::vector<const char *> keys = {kUninstallKey};
    if (sandbox_.Win64())
        keys.push_back(kUninstallKey32);
    for (const char *key : keys) {
        // The key itself is listed first; its products are below it.
        std::string root = "HKEY_LOCAL_MACHINE" + std::string(key).substr(strlen("HKLM"));
        for (const RegistryKey &product : sandbox_.Query(key, "uninstall-keys.out")) {
            if (Lowered(product.name) != Lowered(root))
                found[product.name] = product;
        }
    }
    return found;
}

std::string Removal::RegisteredLocation()
{
    for (const auto &[key, product] : Registered()) {
        auto location = product.values.find("InstallLocation");
        if (!before_.count(key) && location != product.values.end())
            return location->second;
    }
    return std::string();
}

void Removal::Remove(const SetupRun &run, TrialResult *result)
{
    result->uninstallTried = true;
    sandbox_.CloseWindowsOf(run.process.demoPid);
    std::map<std::string, RegistryKey> now = Registered();
    bool registered = false;
    for (const auto &[key, product] : now)
        registered = registered || !before_.count(key);
    // Registration is a module's choice: without it nothing can remove
    // the product, so nothing it installed counts as left behind.
    if (!registered) {
        result->registeredNone = true;
        return;
    }
    for (const auto &[key, product] : now) {
        if (before_.count(key))
            continue;
        auto quiet = product.values.find("QuietUninstallString");
        std::string command = quiet == product.values.end() ? "" : quiet->second;
        if (command.empty()) {
            result->leftBehind.push_back(key + " (registered with no QuietUninstallString)");
            continue;
        }
        sandbox_.Note("removing with " + command);
        result->uninstallCommands.push_back(command);
        result->uninstallExitCodes.push_back(RunRemoval(command));
    }
    // The uninstaller answers before its last work (its own file, the
    // emptied folders) is done: what is left is looked at until it is
    // gone, or for a few seconds.
    Clock::time_point until = std::min(sandbox_.End(), Clock::now() + std::chrono::seconds(10));
    std::vector<std::string> left;
    do {
        left.clear();
        for (const TrialFile &file : result->installed) {
            std::error_code error;
            if (fs::exists(fs::symlink_status(file.hostPath, error)) &&
                !WrittenByTheDemonstration(file, run))
                left.push_back(file.windowsPath);
        }
        if (!left.empty())
            std::this_thread::sleep_for(kPollPause);
    } while (!left.empty() && Clock::now() < until && sandbox_.Going());
    result->leftBehind = left;
    for (const auto &[key, product] : Registered()) {
        if (!before_.count(key))
            result->leftBehind.push_back(key);
    }
}

// Starts one removal command line as setup was started, waits for its end
// and returns its exit code, or -1.
int Removal::RunRemoval(const std::string &commandLine)
{
    std::string out = (sandbox_.Logs() / "uninstall-launch.out").string();
    Command launch = sandbox_.Wine({sandbox_.WinlistExe(), "launch"}, out);
    launch.extraEnv.push_back("WINLIST_CMDLINE=" + commandLine);
    launch.extraEnv.push_back("WINLIST_CWD=C:\\");
    Clock::time_point until = std::min(sandbox_.End(), Clock::now() + std::chrono::seconds(120));
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
    sandbox_.Note("the removal ended with exit code " + std::to_string(code));
    return code;
}

#endif
