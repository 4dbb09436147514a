#include "trial.h"

#ifdef _WIN32

void RunTrial(const TrialOptions &, TrialResult *result)
{
    *result = TrialResult();
    result->problem = "the trial runs on Linux only: it runs setup.exe under Wine on a private "
                      "Xvfb display";
}

#else

#include "hostfs.h"
#include "lnkread.h"
#include "textout.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

extern char **environ;

namespace
{

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

// The shell's windows, as its resources make them.
constexpr char kDialogClass[] = "#32770";
constexpr char kCopyClass[] = "COPYINGWND";
constexpr char kStatusCaption[] = "KARVELO SETUP";
constexpr int kAgreeButton = 1172;
constexpr int kStatusText = 1057;
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
// The kept prefix: the mark of a whole one, and the number of the recipe that
// makes it (raise it whenever BootPrefix changes, so that no old one is used).
constexpr char kKeptMark[] = ".kvlship-kept";
constexpr char kUninstallKey[] = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr int kPrefixRecipe = 1;
constexpr double kDemoSettle = 1.0;
constexpr double kHelperWait = 30; // one winlist or import run
constexpr auto kPollPause = std::chrono::milliseconds(100);

// Windows paths below C:\ that Wine itself writes while any program runs.
const char *const kChurnPrefixes[] = {"windows/temp/", "windows/logs/"};
// The trial's own copy of the distribution below C:\.
constexpr char kDistFolder[] = "kvlship-trial";
// setup.exe's log in a silent trial, below the trial's copy of the distribution.
constexpr char kSetupLogName[] = "setup.log";
constexpr size_t kLogLimit = 1 << 20;
// Marks a work folder as one a trial made (and may empty again).
constexpr char kWorkMarker[] = ".kvlship-trial";

// ---------------------------------------------------------------------------
// Small helpers

bool StartsWith(const std::string &text, const std::string &start)
{
    return text.compare(0, start.size(), start) == 0;
}

void Pause(double seconds)
{
    std::this_thread::sleep_for(Seconds(seconds));
}

// The full path of a program found on PATH; empty when there is none.
std::string FindProgram(const std::string &name)
{
    const char *path = getenv("PATH");
    std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        std::string folder = folders.substr(start, end - start);
        std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        struct stat info;
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return std::string();
}

// ---------------------------------------------------------------------------
// Child processes: started with fork and execve (no shell), their output in
// files, so that no reader ever waits on a pipe a Wine service holds open.
// Each starts a session of its own, so that the terminal's Ctrl-C reaches
// only kvlship, which then ends them all in order.

// The signal (SIGINT, SIGTERM, SIGHUP) that asked the trial to stop; 0 while none has.
volatile sig_atomic_t g_stopSignal = 0;
// While the trial ends its processes, a stop signal no longer cuts waits short.
bool g_endingAll = false;
// The processes started here and not yet waited for.
std::set<pid_t> g_started;

void OnStopSignal(int number)
{
    g_stopSignal = number;
}

const char *SignalName(int number)
{
    return number == SIGINT ? "SIGINT" : number == SIGTERM ? "SIGTERM" : "SIGHUP";
}

struct Command {
    std::vector<std::string> argv; // argv[0]: a full path
    std::string folder;            // empty: ours
    std::string output;            // stdout; empty: /dev/null
    std::string errors;            // stderr, appended; empty: /dev/null
    std::vector<std::string> extraEnv;
    int passFd = -1; // inherited by the child
};

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

// Waits for `pid` until `deadline` (or a stop signal). Returns its exit
// status (-1 for one ended by a signal), or -2 while it still runs.
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

// Ends `pid`: a polite signal, then after `grace` seconds a hard one.
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

// Runs a command to its end within `seconds` (and before `deadline`).
// Returns its exit status, -1 for a signal or a failed start, -2 when it
// was killed for taking too long.
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

// The lines a growing file gained since the last call; a line still being
// written stays for the next.
class FileTail
{
  public:
    void Open(const std::string &path) { path_ = path; }
    std::vector<std::string> NewLines()
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

  private:
    std::string path_;
    std::string pending_;
    long offset_ = 0;
};

// ---------------------------------------------------------------------------
// winlist's JSON lines: flat objects of strings, numbers and number lists.

struct JsonFields {
    std::map<std::string, std::string> texts;
    std::map<std::string, long long> numbers;
    std::map<std::string, std::vector<long long>> lists;

    bool Has(const std::string &key) const { return texts.count(key) || numbers.count(key); }
    std::string Text(const std::string &key) const
    {
        auto found = texts.find(key);
        return found == texts.end() ? std::string() : found->second;
    }
    long long Number(const std::string &key, long long fallback = 0) const
    {
        auto found = numbers.find(key);
        return found == numbers.end() ? fallback : found->second;
    }
};

class JsonReader
{
  public:
    explicit JsonReader(const std::string &text) : text_(text) {}

    bool Object(JsonFields *fields)
    {
        if (!Take('{'))
            return false;
        if (Take('}'))
            return true;
        do {
            std::string key;
            if (!String(&key) || !Take(':') || !Value(key, fields))
                return false;
        } while (Take(','));
        return Take('}');
    }

  private:
    void Blanks()
    {
        while (at_ < text_.size() && isspace(static_cast<unsigned char>(text_[at_])))
            ++at_;
    }
    bool Take(char c)
    {
        Blanks();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool Hex4(unsigned *value)
    {
        if (at_ + 4 > text_.size())
            return false;
        *value = 0;
        for (int i = 0; i < 4; ++i) {
            char c = text_[at_++];
            int digit = isdigit(static_cast<unsigned char>(c)) ? c - '0'
                        : (c >= 'a' && c <= 'f')               ? c - 'a' + 10
                        : (c >= 'A' && c <= 'F')               ? c - 'A' + 10
                                                               : -1;
            if (digit < 0)
                return false;
            *value = *value * 16 + static_cast<unsigned>(digit);
        }
        return true;
    }
    bool Escape(std::string *out)
    {
        if (at_ >= text_.size())
            return false;
        static const char kNames[] = "\"\\/bfnrt";
        static const char kMeanings[] = "\"\\/\b\f\n\r\t";
        char c = text_[at_++];
        if (c != 'u') {
            const char *name = c ? strchr(kNames, c) : nullptr;
            if (!name)
                return false;
            *out += kMeanings[name - kNames];
            return true;
        }
        unsigned code;
        if (!Hex4(&code))
            return false;
        if (code >= 0xD800 && code < 0xDC00 && text_.compare(at_, 2, "\\u") == 0) {
            size_t back = at_;
            unsigned low;
            at_ += 2;
            if (Hex4(&low) && low >= 0xDC00 && low < 0xE000) {
                AppendUtf8(*out, 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00));
                return true;
            }
            at_ = back;
        }
        AppendUtf8(*out, code >= 0xD800 && code < 0xE000 ? 0xFFFD : code);
        return true;
    }
    bool String(std::string *out)
    {
        if (!Take('"'))
            return false;
        while (at_ < text_.size()) {
            char c = text_[at_++];
            if (c == '"')
                return true;
            if (c != '\\')
                *out += c;
            else if (!Escape(out))
                return false;
        }
        return false;
    }
    bool Number(long long *value)
    {
        Blanks();
        const char *start = text_.c_str() + at_;
        char *end = nullptr;
        errno = 0;
        *value = strtoll(start, &end, 10);
        if (end == start || errno)
            return false;
        at_ += static_cast<size_t>(end - start);
        return true;
    }
    bool Value(const std::string &key, JsonFields *fields)
    {
        Blanks();
        if (at_ >= text_.size())
            return false;
        if (text_[at_] == '"')
            return String(&fields->texts[key]);
        if (!Take('['))
            return Number(&fields->numbers[key]);
        std::vector<long long> &list = fields->lists[key];
        if (Take(']'))
            return true;
        do {
            long long value;
            if (!Number(&value))
                return false;
            list.push_back(value);
        } while (Take(','));
        return Take(']');
    }

    const std::string &text_;
    size_t at_ = 0;
};

bool ParseJsonLine(const std::string &line, JsonFields *fields)
{
    return !line.empty() && line[0] == '{' && JsonReader(line).Object(fields);
}

// ---------------------------------------------------------------------------
// Windows as winlist lists them.

struct Window {
    std::string hwnd, top, owner;
    int depth = 0;
    int id = 0;
    long long pid = 0;
    long long style = 0;
    bool visible = false;
    std::string className, text;
};

bool IsButton(const Window &window)
{
    return Lowered(window.className) == "button";
}

bool IsStatic(const Window &window)
{
    return Lowered(window.className) == "static";
}

std::string WithoutAmpersands(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '&'), text.end());
    return text;
}

// A top-level window and the windows inside it, in winlist's order.
struct TopWindow {
    Window frame;
    std::vector<Window> inner;

    const Window *Control(int id) const
    {
        for (const Window &w : inner)
            if (w.id == id)
                return &w;
        return nullptr;
    }
    std::vector<const Window *> Buttons() const
    {
        std::vector<const Window *> buttons;
        for (const Window &w : inner)
            if (IsButton(w))
                buttons.push_back(&w);
        return buttons;
    }
    std::string StaticTexts() const
    {
        std::string text;
        for (const Window &w : inner) {
            if (!IsStatic(w) || w.text.empty())
                continue;
            if (!text.empty())
                text += '\n';
            text += w.text;
        }
        return text;
    }
    bool IsDialog() const { return frame.className == kDialogClass; }
    // True when this window or one inside it of `className` is visible.
    bool Shows(const char *className) const
    {
        if (frame.className == className)
            return frame.visible;
        for (const Window &w : inner)
            if (w.className == className && w.visible)
                return true;
        return false;
    }
    bool IsPresentation() const
    {
        const Window *agree = Control(kAgreeButton);
        return IsDialog() && agree && IsButton(*agree);
    }
    // "Preparing" or "Creating Shortcuts" when it is one of the status dialogs.
    bool IsStatus(const char *words) const
    {
        const Window *status = Control(kStatusText);
        return IsDialog() && frame.text == kStatusCaption && status &&
               status->text.find(words) != std::string::npos;
    }
};

std::vector<TopWindow> ParseWindows(const std::string &listing)
{
    std::vector<TopWindow> tops;
    size_t start = 0;
    while (start < listing.size()) {
        size_t end = listing.find('\n', start);
        if (end == std::string::npos)
            end = listing.size();
        JsonFields fields;
        if (ParseJsonLine(listing.substr(start, end - start), &fields) && fields.Has("hwnd")) {
            Window w;
            w.hwnd = fields.Text("hwnd");
            w.top = fields.Text("top");
            w.owner = fields.Text("owner");
            w.depth = static_cast<int>(fields.Number("depth"));
            w.id = static_cast<int>(fields.Number("id"));
            w.pid = fields.Number("pid");
            w.style = fields.Number("style");
            w.visible = fields.Number("visible") != 0;
            w.className = fields.Text("class");
            w.text = fields.Text("text");
            if (w.depth == 0)
                tops.push_back(TopWindow{w, {}});
            else if (!tops.empty() && tops.back().frame.hwnd == w.top)
                tops.back().inner.push_back(w);
        }
        start = end + 1;
    }
    return tops;
}

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

// Files Wine writes for itself, and the trial's own.
bool IsChurn(const std::string &relative)
{
    std::string lower = Lowered(relative);
    if (StartsWith(lower, std::string(kDistFolder) + "/"))
        return true;
    for (const char *prefix : kChurnPrefixes)
        if (StartsWith(lower, prefix))
            return true;
    // Every user's temporary folders: users/NAME/temp/ and .../appdata/local/temp/.
    return StartsWith(lower, "users/") && (lower.find("/temp/") != std::string::npos);
}

// Programs Wine starts for itself from whichever program comes first: the
// desktop's explorer and the services. None of them is a demonstration.
bool IsWineHelper(const JsonFields &process)
{
    static const char *const kHelpers[] = {"winemenubuilder.exe", "conhost.exe",  "services.exe",
                                           "winedevice.exe",      "plugplay.exe", "svchost.exe",
                                           "rpcss.exe",           "wineboot.exe"};
    std::string exe = Lowered(process.Text("exe"));
    // A process caught as it starts has its image path before its name.
    if (exe.empty())
        exe = Lowered(process.Text("image")).substr(process.Text("image").rfind('\\') + 1);
    if (exe == "explorer.exe")
        return Lowered(process.Text("cmdline")).find("/desktop") != std::string::npos;
    for (const char *helper : kHelpers)
        if (exe == helper)
            return true;
    return false;
}

std::string DriveToWindows(const std::string &relative)
{
    std::string windows = "C:\\" + relative;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    return windows;
}

// True when a program setup.exe started is the demonstration as the shell
// starts it: in the destination folder, as "<folder>\<program>", quoted
// when it holds a blank, then " <folder>\Demos\<document>". A program the
// module starts from its hooks is a child of setup.exe as well.
bool IsShellDemo(const std::string &commandLine, std::string folder)
{
    while (folder.size() > 1 && folder.back() == '\\')
        folder.pop_back();
    bool quoted = StartsWith(commandLine, "\"");
    size_t end = quoted ? commandLine.find('"', 1) : commandLine.find(' ');
    if (end == std::string::npos)
        return false;
    std::string program = commandLine.substr(quoted ? 1 : 0, end - (quoted ? 1 : 0));
    std::string rest = commandLine.substr(end + (quoted ? 1 : 0));
    std::string below = Lowered(folder + "\\");
    return !folder.empty() && StartsWith(Lowered(program), below) &&
           StartsWith(Lowered(rest), " " + below + "demos\\");
}

// Copies a plain file; never opens a link, device or FIFO.
bool CopyPlainFile(const std::string &from, const std::string &to)
{
    FILE *in = OpenPlainFile(from, false);
    if (!in)
        return false;
    FILE *out = fopen(to.c_str(), "wb");
    bool ok = out != nullptr;
    char chunk[1 << 16];
    size_t got;
    while (ok && (got = fread(chunk, 1, sizeof chunk, in)) > 0)
        ok = fwrite(chunk, 1, got, out) == got;
    ok = ok && !ferror(in);
    fclose(in);
    if (out)
        ok = fclose(out) == 0 && ok;
    return ok;
}

// ---------------------------------------------------------------------------
// The host's processes below kvlship. The trial makes kvlship their
// subreaper: a process that leaves its parent (as Wine's own do, and as a
// program may to escape) stays below it, so that all can be found and ended.

struct HostProcess {
    pid_t pid, parent;
    std::string exe;     // the program's file; empty when it cannot be read
    std::string command; // its arguments joined by blanks
};

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
        end_ = begin_ + std::chrono::duration_cast<Clock::duration>(Seconds(limit));
        driveEnd_ = end_ - std::chrono::duration_cast<Clock::duration>(Seconds(reserve));
    }

    void Run()
    {
        if (Prepare() && Going() && StartDisplay() && Going() && MakePrefix() && Going() &&
            CopyDistribution() && Going()) {
            before_ = TakeSnapshot(drive_);
            Note("prefix ready, " + std::to_string(before_.size()) + " files on C:");
            registeredBefore_ = RegisteredProducts();
            if (StartSetup()) {
                Drive();
                // What was installed is read before the removal takes it.
                if (result_->exitCode == 0 && result_->problem.empty() && Going()) {
                    CollectInstalled();
                    Uninstall();
                }
            }
        }
        Shutdown();
        if (!drive_.empty() && !before_.empty() && !collected_)
            CollectInstalled();
        if (options_.silent && !drive_.empty())
            ReadSetupLog();
        result_->seconds = Seconds(Clock::now() - begin_).count();
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
                     {"wineboot", "wine", &wineboot_},
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
        if (!missing.empty())
            return Fail("the trial needs programs that are not installed: " + missing);
        std::error_code ignored;
        wineFolder_ = fs::canonical(wineserver_, ignored).parent_path();
        std::error_code error;
        if (!fs::is_regular_file(options_.winlist, error))
            return Fail("winlist.exe not found at " + options_.winlist);
        if (!fs::is_directory(options_.distribution, error))
            return Fail("the distribution folder " + options_.distribution + " does not exist");
        setupName_ = FindSetup();
        if (setupName_.empty())
            return Fail("the distribution folder " + options_.distribution + " holds no setup.exe");
        if (options_.work.empty())
            return Fail("no work folder given");
        return MakeFolders();
    }

    // setup.exe in any case of letters.
    std::string FindSetup()
    {
        std::error_code error;
        for (fs::directory_iterator it(options_.distribution, error);
             !error && it != fs::directory_iterator(); it.increment(error)) {
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
        auto mismatch = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
        return mismatch.first == outer.end();
    }

    // What every Wine program of the run gets: its own prefix, display and
    // home (so that nothing reaches the user's own folders or menus).
    std::vector<std::string> WineEnv() const
    {
        return {"WINEPREFIX=" + prefix_.string(), "WINEARCH=win32", "WINEDEBUG=-all",
                // No offer to install Mono or Gecko (a window that waits
                // forever), and no menu entries on the host for the links.
                "WINEDLLOVERRIDES=mscoree,mshtml=;winemenubuilder.exe=d", "DISPLAY=" + display_,
                "HOME=" + home_.string(), "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME",
                "WAYLAND_DISPLAY"};
    }

    Command Wine(std::vector<std::string> args, const std::string &output) const
    {
        args.insert(args.begin(), wine_);
        return {args, "", output, wineLog_, WineEnv()};
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

    // The prefix of this trial: a copy of the one kept for this Wine, made
    // once (wineboot takes ten seconds and more; a copy, one or two). A
    // real copy, never links into the kept prefix: the distribution's code
    // runs in this one and must not reach the next trial's.
    bool MakePrefix()
    {
        fs::path kept = KeptPrefix();
        if (kept.empty())
            return BootPrefix();
        int lock = open((kept.string() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (lock < 0 || flock(lock, LOCK_EX) != 0) {
            if (lock >= 0)
                close(lock);
            return BootPrefix();
        }
        std::error_code error;
        bool ok;
        if (fs::exists(kept / kKeptMark, error)) {
            Note("copying the prefix kept in " + kept.string());
            ok = CopyTree(kept, prefix_) && RemoveHostDrives();
            drive_ = prefix_ / "drive_c";
        } else {
            ok = BootPrefix();
            // Kept only whole: a copy cut short is never taken for a prefix.
            fs::path building = kept.string() + ".new";
            fs::remove_all(building, error);
            if (ok && CopyTree(prefix_, building) &&
                WriteWholeFile((building / kKeptMark).string(), "ready\n")) {
                fs::remove_all(kept, error);
                fs::rename(building, kept, error);
            }
        }
        close(lock);
        return ok;
    }

    // Where the prefix for this Wine is kept: below the user's cache, named
    // after the Wine program's size and time, so that another Wine makes its
    // own. Empty without a place to keep it.
    fs::path KeptPrefix() const
    {
        const char *cache = getenv("XDG_CACHE_HOME");
        const char *home = getenv("HOME");
        fs::path base = cache && *cache ? fs::path(cache)
                        : home && *home ? fs::path(home) / ".cache"
                                        : fs::path();
        struct stat wine;
        if (base.empty() || stat(wine_.c_str(), &wine) != 0)
            return fs::path();
        std::error_code error;
        fs::create_directories(base / "kvlship", error);
        if (error)
            return fs::path();
        char name[96];
        snprintf(name, sizeof name, "prefix-%llx-%llx-%d",
                 static_cast<unsigned long long>(wine.st_size),
                 static_cast<unsigned long long>(wine.st_mtime), kPrefixRecipe);
        return base / "kvlship" / name;
    }

    // Copies the folder `from` to `to` (which must not exist) as it stands:
    // links stay links, pointing where they pointed.
    bool CopyTree(const fs::path &from, const fs::path &to)
    {
        std::error_code error;
        fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
        if (error)
            return Fail("cannot copy the prefix " + from.string() + ": " + error.message());
        return true;
    }

    // A new prefix, made by wineboot, with our settings and no host drive.
    bool BootPrefix()
    {
        std::vector<std::string> env = BaseEnvironment();
        Command boot{{wineboot_, "-i"}, "", "", wineLog_, WineEnv()};
        Note("making the prefix " + prefix_.string() + " on display " + display_);
        if (RunCommand(boot, env, 180, driveEnd_) != 0)
            return Fail("wineboot could not make a 32-bit prefix (is wine32:i386 installed? see " +
                        wineLog_ + ")");
        // Without a window manager Wine waits 2 s whenever a shown window goes
        // away; a crash must not show a dialog of its own.
        std::string reg = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"
                          "\"Managed\"=\"N\"\r\n\r\n"
                          "[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n"
                          "\"ShowCrashDialog\"=dword:00000000\r\n";
        drive_ = prefix_ / "drive_c";
        if (!RemoveHostDrives())
            return false;
        // With no drive to the host, the settings reach Wine through C:.
        std::error_code error;
        fs::create_directories(drive_ / kDistFolder, error);
        std::string regPath = (drive_ / kDistFolder / "settings.reg").string();
        std::string regWindows = std::string("C:\\") + kDistFolder + "\\settings.reg";
        if (!WriteWholeFile(regPath, reg) ||
            RunCommand(Wine({"regedit", "/S", regWindows}, ""), env, 60, driveEnd_) != 0)
            return Fail("cannot write the prefix's settings (see " + wineLog_ + ")");
        // Lets the prefix settle, so that what Wine writes at its start is not
        // taken for the setup's work.
        RunCommand({{wineserver_, "-w"}, "", "", wineLog_, WineEnv()}, env, 30, driveEnd_);
        if (Clock::now() >= driveEnd_)
            return Fail("the time ran out while the prefix was made");
        return true;
    }

    // The prefix maps no host folder but the work folder. Wine's drive Z:
    // (the host's root) and every other drive that leads out of the prefix
    // go; the profile's folders that Wine links to HOME point into the work
    // folder (home/), anything else there becomes a folder.
    bool RemoveHostDrives()
    {
        if (!UnlinkOutside(prefix_ / "dosdevices", prefix_, true))
            return false;
        std::error_code error;
        for (fs::directory_iterator it(drive_ / "users", error);
             !error && it != fs::directory_iterator(); it.increment(error)) {
            if (fs::is_directory(it->symlink_status(error)) &&
                !UnlinkOutside(it->path(), work_, false))
                return false;
        }
        return true;
    }

    // Removes each link in `folder` that leads outside `allowed`: among the
    // prefix's `devices` its drives ("d:", and "d::" for the raw device),
    // elsewhere every link, made a folder again.
    bool UnlinkOutside(const fs::path &folder, const fs::path &allowed, bool devices)
    {
        std::error_code error;
        fs::path inside = fs::weakly_canonical(allowed, error);
        for (fs::directory_iterator it(folder, error); !error && it != fs::directory_iterator();
             it.increment(error)) {
            std::error_code ignored;
            std::string name = it->path().filename().string();
            bool drive = name.size() >= 2 && name.size() <= 3 && name[1] == ':' &&
                         name.find_first_not_of(':', 1) == std::string::npos;
            if (!fs::is_symlink(it->symlink_status(ignored)) || (devices && !drive))
                continue;
            fs::path target = fs::read_symlink(it->path(), ignored);
            target = fs::weakly_canonical(folder / target, ignored);
            if (!ignored && Inside(target, inside))
                continue;
            Note("removed " + it->path().string() + " -> " + target.string());
            if (!fs::remove(it->path(), ignored) ||
                (!devices && !fs::create_directory(it->path(), ignored)))
                return Fail("cannot remove the link " + it->path().string() +
                            " to the host: " + ignored.message());
        }
        if (error)
            return Fail("cannot list " + folder.string() + ": " + error.message());
        return true;
    }

    // Plain files and real folders only: a link could bring any host folder
    // into the prefix, and a device or FIFO never ends.
    bool CopyDistribution()
    {
        fs::path target = drive_ / kDistFolder / "distribution";
        std::error_code error;
        fs::create_directories(target, error);
        fs::path from = options_.distribution;
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
        distWindows_ = std::string("C:\\") + kDistFolder + "\\distribution";
        return true;
    }

    // -- running setup.exe ------------------------------------------------------

    bool StartSetup()
    {
        std::vector<std::string> env = BaseEnvironment();
        // Every process started from now on, with what it was started with.
        watcherOut_ = (logs_ / "processes.out").string();
        int watchSeconds = std::max(1, static_cast<int>(Seconds(end_ - Clock::now()).count()));
        watcherPid_ = Spawn(
            Wine({options_.winlist, "processes", std::to_string(watchSeconds)}, watcherOut_), env);
        watcher_.Open(watcherOut_);

        // winlist launch starts setup.exe exactly with this command line and
        // reports its process id and its full exit code.
        std::string commandLine = "\"" + distWindows_ + "\\" + setupName_ + "\"";
        // Silently the log lands in the trial's own folder on C:, which is
        // in the work folder and never counted as installed.
        if (options_.silent)
            commandLine +=
                std::string(" /VERYSILENT /LOG=\"C:\\") + kDistFolder + "\\" + kSetupLogName + "\"";
        if (!options_.arguments.empty())
            commandLine += " " + options_.arguments;
        launchOut_ = (logs_ / "launch.out").string();
        Command launch = Wine({options_.winlist, "launch"}, launchOut_);
        launch.extraEnv.push_back("WINLIST_CMDLINE=" + commandLine);
        launch.extraEnv.push_back("WINLIST_CWD=" + distWindows_);
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

    std::vector<TopWindow> ListWindows()
    {
        std::string output = (logs_ / "winlist.out").string();
        int status = RunCommand(Wine({options_.winlist, "list"}, output), BaseEnvironment(),
                                kHelperWait, driveEnd_);
        if (status != 0)
            return {};
        std::string listing;
        ReadWholeFile(output, &listing);
        return ParseWindows(listing);
    }

    std::string Winlist(const std::vector<std::string> &args)
    {
        std::string output = (logs_ / "winlist.out").string();
        std::vector<std::string> all = {options_.winlist};
        all.insert(all.end(), args.begin(), args.end());
        RunCommand(Wine(all, output), BaseEnvironment(), kHelperWait, driveEnd_);
        std::string answer;
        ReadWholeFile(output, &answer);
        return answer;
    }

    // A picture of the whole screen as screenshots/NN-NAME.png.
    std::string Shoot(const std::string &name)
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
        if (RunCommand(command, BaseEnvironment(), kHelperWait, driveEnd_) == 0 &&
            fs::exists(path)) {
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
            if (IsChurn(relative) || (old != before_.end() && old->second.size == stamp.size &&
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

    // The products registered under Add/Remove Programs: each key with its
    // QuietUninstallString (empty when it has none).
    std::map<std::string, std::string> RegisteredProducts()
    {
        std::map<std::string, std::string> found;
        std::string out = (logs_ / "uninstall-keys.out").string();
        if (RunCommand(Wine({"reg", "query", kUninstallKey, "/s"}, out), BaseEnvironment(), 30,
                       end_) != 0)
            return found;
        FILE *file = OpenPlainFile(out, false);
        if (!file)
            return found;
        std::string key;
        char line[2048];
        while (fgets(line, sizeof line, file)) {
            std::string text = line;
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
                text.pop_back();
            if (StartsWith(Lowered(text), "hkey_local_machine\\")) {
                key = text;
                found[key];
            } else if (!key.empty()) {
                size_t at = text.find("QuietUninstallString");
                size_t type = text.find("REG_SZ");
                if (at != std::string::npos && type != std::string::npos) {
                    size_t value = text.find_first_not_of(" \t", type + 6);
                    found[key] = value == std::string::npos ? "" : text.substr(value);
                }
            }
        }
        fclose(file);
        return found;
    }

    // Runs the quiet removal of every product this setup registered, then
    // notes each file the installation created that is still there, and each
    // key still registered.
    void Uninstall()
    {
        result_->uninstallTried = true;
        CloseDemonstration();
        std::map<std::string, std::string> now = RegisteredProducts();
        for (const auto &[key, command] : now) {
            if (registeredBefore_.count(key))
                continue;
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
        for (const auto &[key, command] : RegisteredProducts()) {
            if (!registeredBefore_.count(key))
                result_->leftBehind.push_back(key);
        }
    }

    // A file the demonstration wrote is the product's doing, not the
    // installation's, and no removal takes it: setup starts the
    // demonstration last, a second and more after its final writes (the
    // 32-tick pause), so a file changed since a second before setup ended is
    // taken for the demonstration's.
    bool WrittenByTheDemonstration(const TrialFile &file) const
    {
        struct stat seen;
        if (result_->demoCommand.empty() || lstat(file.hostPath.c_str(), &seen) != 0)
            return false;
        auto since = endedWall_ - std::chrono::seconds(1);
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
        Command launch = Wine({options_.winlist, "launch"}, out);
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
    void ReadSetupLog()
    {
        std::string from = (drive_ / kDistFolder / kSetupLogName).string();
        std::string kept = (logs_ / kSetupLogName).string();
        if (!CopyPlainFile(from, kept)) {
            Note("setup.exe left no log at " + from);
            return;
        }
        result_->logPath = kept;
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
            result_->log.push_back(line);
        }
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

    std::string wine_, wineboot_, wineserver_, xvfb_, import_;
    std::string setupName_, distWindows_, display_, wineLog_;
    fs::path work_, prefix_, shots_, logs_, home_, drive_;
    Snapshot before_;

    pid_t xvfbPid_ = -1, launcherPid_ = -1, watcherPid_ = -1;
    std::string launchOut_, watcherOut_, launchError_;
    FileTail launch_, watcher_;

    long long setupPid_ = -1, demoPid_ = -1;
    std::map<std::string, std::string> registeredBefore_; // Add/Remove Programs keys, quiet removal
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
