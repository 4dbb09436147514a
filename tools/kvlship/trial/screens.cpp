// setup.exe's screens as the trial drives them (see screens.h).
#include "trial/screens.h"

#include <string>

namespace
{

// Waits, in seconds.
constexpr double kSettle = 0.5;     // before a stage's picture
constexpr double kDemoSettle = 1.0; // before the demonstration's
constexpr double kAgreeRetry = 3;   // I Agree pressed again while the presentation stays
constexpr int kAgreeTries = 3;

} // namespace

std::string Photographed(const std::string &stage, Operator &op, RunRecord *record)
{
    std::string path = op.Shoot(stage);
    if (!path.empty())
        record->screenshots.push_back(path);
    return path;
}

void Screens::Look(const std::vector<TopWindow> &windows, const SetupProcess &process, Operator &op,
                   RunRecord *record)
{
    Agree(windows, op, record);
    for (const TopWindow &top : windows) {
        if (top.frame.visible)
            Photograph(top, process, op, record);
    }
    // The preparing dialog shows after the agreement only.
    if (sawPreparing_ && agreePosts_)
        record->agreed = true;
}

void Screens::Agree(const std::vector<TopWindow> &windows, Operator &op, RunRecord *record)
{
    const TopWindow *dialog = nullptr;
    for (const TopWindow &top : windows)
        if (top.frame.visible && top.IsPresentation())
            dialog = &top;
    if (!dialog) {
        if (agreePosts_ && !presentationGone_) {
            presentationGone_ = true;
            record->agreed = true;
        }
        return;
    }
    if (agreePosts_ && (op.Now() - agreedAt_ < kAgreeRetry || agreePosts_ >= kAgreeTries))
        return;
    if (!agreePosts_) {
        op.Settle(kSettle);
        Photographed("agreement", op, record);
    }
    op.Note("pressing I Agree");
    op.Press(dialog->frame.hwnd, kAgreeButton);
    ++agreePosts_;
    agreedAt_ = op.Now();
}

void Screens::Photograph(const TopWindow &top, const SetupProcess &process, Operator &op,
                         RunRecord *record)
{
    if (!sawPreparing_ && top.IsStatus(SETUP_PREPARING_TEXT)) {
        sawPreparing_ = true;
        op.Settle(kSettle);
        Photographed("preparing", op, record);
    } else if (!sawCopying_ && top.frame.pid == process.setupPid && top.Shows(kCopyClass)) {
        sawCopying_ = true;
        op.Settle(kSettle);
        Photographed("copying", op, record);
    } else if (!sawShortcuts_ && top.IsStatus(SETUP_SHORTCUTS_TEXT)) {
        sawShortcuts_ = true;
        record->copied = true;
        op.Settle(kSettle);
        Photographed("shortcuts", op, record);
    } else if (!record->demoShown && process.demoPid > 0 && top.frame.pid == process.demoPid) {
        record->demoShown = true;
        op.Settle(kDemoSettle);
        Photographed("demonstration", op, record);
    }
}
