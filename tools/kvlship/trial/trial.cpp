// The trial's driver: a run of setup.exe (two with --over) through its collaborators.
#include "trial/trial.h"

#ifdef _WIN32

void RunTrial(const TrialOptions &, TrialResult *result)
{
    *result = TrialResult();
    result->problems.Error("trial", "the trial runs on Linux only: it runs setup.exe under Wine "
                                    "on a private Xvfb display");
}

#else

#include "trial/finish.h"
#include "trial/installed.h"
#include "trial/launch.h"
#include "trial/removal.h"
#include "trial/sandbox.h"
#include "trial/setuprun.h"
#include "trial/verdict.h"

#include <signal.h>
#include <sys/prctl.h>

#include <thread>

namespace
{

// setup.exe's logs, below the trial's folder: the older version's (--over) and this one's.
constexpr char kSetupLogName[] = "setup.log";
constexpr char kOlderLogName[] = "setup-older.log";
constexpr auto kPollPause = std::chrono::milliseconds(100);

// The operator of one run: winlist's hands on the trial's display, the
// screenshots named for the run's stage, its problems told in its record.
class RunOperator : public Operator
{
  public:
    RunOperator(Sandbox &sandbox, SetupRun &run) : sandbox_(sandbox), run_(run) {}

    double Now() override { return sandbox_.Now(); }
    void Press(const std::string &hwnd, int id) override
    {
        sandbox_.Winlist({"command", hwnd, std::to_string(id)});
    }
    void Post(const std::string &hwnd, unsigned message) override
    {
        sandbox_.Winlist({"post", hwnd, std::to_string(message), "0", "0"});
    }
    std::string Send(const std::string &hwnd, unsigned message) override
    {
        return sandbox_.Winlist({"send", hwnd, std::to_string(message), "0", "0", "2000"});
    }
    void Settle(double seconds) override { Pause(seconds); }
    std::string Shoot(const std::string &name) override
    {
        return sandbox_.Shoot(run_.stage + name);
    }
    void Note(const std::string &text) override { sandbox_.Note(text); }
    void Problem(const std::string &place, const std::string &text) override
    {
        sandbox_.Report(&run_.record.problems, place, text);
    }

  private:
    Sandbox &sandbox_;
    SetupRun &run_;
};

template <typename T> void Append(std::vector<T> *to, const std::vector<T> &from)
{
    to->insert(to->end(), from.begin(), from.end());
}

// What the report lists of a run in the order met, after what it holds.
void AddSeen(const RunRecord &run, TrialResult *result)
{
    Append(&result->screenshots, run.screenshots);
    Append(&result->boxes, run.boxes);
    Append(&result->faults, run.faults);
}

class Trial
{
  public:
    Trial(const TrialOptions &options, TrialResult *result)
        : options_(options), result_(result), sandbox_(options, &result->problems),
          removal_(sandbox_), olderLaunch_(sandbox_, options), launch_(sandbox_, options)
    {
    }

    void Run()
    {
        result_->win64 = options_.win64;
        if (sandbox_.Open()) {
            before_ = TakeSnapshot(sandbox_.Drive());
            sandbox_.Note("prefix ready, " + std::to_string(before_.size()) + " files on C:");
            removal_.TakeBefore();
            result_->programsFolder = sandbox_.ProgramsFolder();
            result_->commonProgramsFolder = sandbox_.CommonProgramsFolder();
            if (options_.older.empty() || InstallOlder())
                InstallAndRemove();
        }
        Shutdown();
        if (!sandbox_.Drive().empty() && !before_.empty() && !collected_)
            Collect();
        if (run_.record.started && !sandbox_.Drive().empty()) {
            ReadSetupLog(sandbox_, kSetupLogName, &run_.record);
            if (!judged_)
                Judge();
        }
        sandbox_.AccountForPrefix(result_);
        Conclude();
    }

  private:
    // --over: the older version, installed first as a user had it before the
    // upgrade. Its screenshots and boxes join the report; it must end as a
    // complete installation, or there is nothing to upgrade.
    bool InstallOlder()
    {
        bool started = StartAndDrive(&older_, &olderLaunch_, "older", sandbox_.OlderSetupName(),
                                     kOlderLogName);
        ReadSetupLog(sandbox_, kOlderLogName, &older_.record);
        sandbox_.CloseWindowsOf(older_.process.demoPid);
        const RunRecord &older = older_.record;
        AddSeen(older, result_);
        result_->otherPrograms = older.otherPrograms;
        result_->olderExitCode = older.exitCode;
        result_->olderLog = older.log;
        result_->olderLogPath = older.logPath;
        result_->olderDestination = LoggedDestination(older.log);
        if (!started || !SetupInstalled(older.exitCode) || !older.problems.Empty()) {
            sandbox_.Report(&result_->problems, "older",
                            "the older version (--over) did not install: " +
                                (!older.problems.Empty() ? older.problems.All().front().text
                                                         : "its setup.exe ended with exit code " +
                                                               std::to_string(older.exitCode)));
            return false;
        }
        sandbox_.Note("the older version is installed in " + result_->olderDestination);
        olderLaunch_.Stop();
        return sandbox_.Going();
    }

    // The version tried: installed, and once complete, judged and removed.
    void InstallAndRemove()
    {
        bool started =
            StartAndDrive(&run_, &launch_, "distribution", sandbox_.SetupName(), kSetupLogName);
        AddSeen(run_.record, result_);
        result_->problems.Take(run_.record.problems);
        if (!started)
            return;
        ReadSetupLog(sandbox_, kSetupLogName, &run_.record);
        // What was installed is read and judged before the removal takes it.
        if (SetupInstalled(run_.record.exitCode) && result_->problems.Empty() && sandbox_.Going()) {
            Collect();
            Judge();
            removal_.Remove(run_, result_);
        }
    }

    // Starts setup.exe of the copied distribution `folder` for `run` and
    // drives it to its end; false when it did not start.
    bool StartAndDrive(SetupRun *run, SetupLaunch *launch, const char *folder,
                       const std::string &setupName, const char *logName)
    {
        RunOperator op(sandbox_, *run);
        live_ = launch;
        liveRun_ = run;
        if (!launch->Start(folder, setupName, logName, run, op))
            return false;
        Drive(run, launch, op);
        return true;
    }

    // Answers setup's boxes and drives its screens until the run is over.
    void Drive(SetupRun *run, SetupLaunch *launch, Operator &op)
    {
        run->startedAt = op.Now();
        for (;;) {
            if (g_stopSignal) {
                op.Problem("stop", "stopped");
                return;
            }
            if (Clock::now() >= sandbox_.DriveEnd()) {
                run->record.timedOut = true;
                op.Problem("time", "the trial ran out of time (" +
                                       std::to_string(options_.timeoutSeconds) + " s)");
                return;
            }
            sandbox_.WatchHostPrograms();
            launch->ReadLaunch(run, op);
            launch->ReadProcesses(run, op);
            std::vector<TopWindow> windows = sandbox_.ListWindows();
            launch->ReadLaunch(run, op);
            if (!run->boxes.Answer(windows, run->process, op, &run->record))
                return;
            run->screens.Look(windows, run->process, op, &run->record);
            if (Finished(*run, options_.silent, op))
                return;
            std::this_thread::sleep_for(kPollPause);
        }
    }

    // Wine and the display ended, with the last reports of the run in hand.
    void Shutdown()
    {
        sandbox_.EndWine();
        if (live_)
            live_->Stop();
        sandbox_.StopWatcher();
        if (live_) {
            RunOperator op(sandbox_, *liveRun_);
            live_->ReadLaunch(liveRun_, op);
            live_->ReadProcesses(liveRun_, op);
        }
        sandbox_.EndAll();
    }

    void Collect()
    {
        collected_ = true;
        CollectInstalled(sandbox_.Drive(), before_, kDistFolder, result_);
    }

    // The destination the run settled on (setup's log, else the location
    // the product registered), then the caller's judgement of the drive.
    void Judge()
    {
        judged_ = true;
        result_->destination = LoggedDestination(run_.record.log);
        if (result_->destination.empty())
            result_->destination = removal_.RegisteredLocation();
        if (options_.judge)
            options_.judge(LookAtDrive(sandbox_.Drive()), result_);
    }

    // The version tried's run, as the report tells it.
    void Conclude()
    {
        const RunRecord &run = run_.record;
        result_->started = run.started;
        result_->agreed = run.agreed;
        result_->copied = run.copied;
        result_->timedOut = run.timedOut;
        result_->exitCode = run.exitCode;
        result_->demoCommand = run.demoCommand;
        result_->demoFolder = run.demoFolder;
        result_->demoShown = run.demoShown;
        result_->log = run.log;
        result_->logPath = run.logPath;
        Append(&result_->otherPrograms, run.otherPrograms);
        result_->hostPrograms = sandbox_.HostPrograms();
        result_->seconds = sandbox_.Now();
    }

    const TrialOptions &options_;
    TrialResult *result_;
    Sandbox sandbox_;
    Removal removal_;
    Snapshot before_;
    bool collected_ = false, judged_ = false;
    // Each run its own: --over's older version, then the version tried.
    SetupRun older_{"older-"}, run_{""};
    SetupLaunch olderLaunch_, launch_;
    SetupLaunch *live_ = nullptr; // the launch of the run under way, read once more at the end
    SetupRun *liveRun_ = nullptr;
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
