// When a run of setup.exe is over for the trial (see finish.h).
#include "trial/finish.h"

#include <string>

namespace
{

// Waits, in seconds. A fresh prefix makes the first start slow.
constexpr double kAgreementWait = 90;
constexpr double kErrorExitWait = 10; // setup.exe ending after its error box was answered
constexpr double kLateChildWait = 3;  // a demonstration seen after setup.exe's end
constexpr double kDemoWindowWait = 20;

bool Over(const SetupRun &run, bool silent, Operator &op)
{
    double now = op.Now();
    if (run.boxes.ErrorAt() >= 0)
        return run.process.ended || now - run.boxes.ErrorAt() > kErrorExitWait;
    if (!run.process.ended) {
        if (!silent && !run.screens.AgreePosts() && !run.boxes.Seen() &&
            now - run.startedAt > kAgreementWait) {
            op.Problem("agreement", "the agreement dialog did not appear within " +
                                        std::to_string(static_cast<int>(kAgreementWait)) + " s");
            return true;
        }
        return false;
    }
    if (run.record.demoShown)
        return true;
    if (run.process.demoPid > 0)
        return now - run.process.endedAt > kDemoWindowWait;
    return now - run.process.endedAt > kLateChildWait;
}

// A setup that ended by itself before its work was done says so. A silent
// setup shows no stage: its exit code and log tell how it ended.
void TellEarlyEnd(const SetupRun &run, bool silent, Operator &op)
{
    if (!run.process.ended || silent)
        return;
    if (!run.screens.AgreePosts())
        op.Problem("setup", "setup.exe ended before its agreement dialog");
    else if (!run.screens.SawShortcuts())
        op.Problem("setup", "setup.exe ended before the copy was done");
}

} // namespace

bool Finished(const SetupRun &run, bool silent, Operator &op)
{
    if (!Over(run, silent, op))
        return false;
    TellEarlyEnd(run, silent, op);
    return true;
}
