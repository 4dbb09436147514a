// The boxes a trial meets: which window is a box to answer, whether it is
// one of setup's own error boxes, which button a person pressing Enter
// would press, and the answering of every box on screen until it goes.
#pragma once

#include "trial/judge.h"
#include "trial/operator.h"
#include "trial/runrecord.h"
#include "trial/windowlist.h"

#include <map>
#include <string>
#include <vector>

// A dialog that is neither the agreement nor a status dialog: a message box
// of the shell or the module, or a program's own. A dialog of the
// demonstration (`demoPid`) that no window owns is its main window, not a box.
bool IsBox(const TopWindow &top, long long demoPid);

// One of the shell's own message boxes (one button, the shell's caption),
// each of which ends the setup.
bool IsShellError(const TopWindow &top, long long setupPid);

// Whose box `top` is.
BoxOwner OwnerOf(const TopWindow &top, const SetupProcess &process);

// The button a person pressing Enter would press: the dialog's default when
// it is one of its buttons (`defaultReply`: winlist's answer to DM_GETDEFID),
// else the default push button, the only button, Cancel, the first; -1
// without buttons.
int AnswerId(const TopWindow &top, const std::string &defaultReply);

class Boxes
{
  public:
    // Answers every box on screen. False when the run must end now: a box
    // would not go away when answered.
    bool Answer(const std::vector<TopWindow> &windows, const SetupProcess &process, Operator &op,
                RunRecord *record);
    // A box was on screen at some time.
    bool Seen() const { return seen_; }
    // When setup's own error box was answered; negative when none was.
    double ErrorAt() const { return errorAt_; }

  private:
    struct Open {
        double seen = 0, firstAnswer = 0, lastAnswer = 0;
        bool answered = false;
        size_t index = 0; // in the record's boxes
    };

    void FirstAnswer(const TopWindow &top, const SetupProcess &process, Operator &op,
                     RunRecord *record, Open *box);

    std::map<std::string, Open> open_; // by window handle
    bool seen_ = false;
    double errorAt_ = -1;
};
