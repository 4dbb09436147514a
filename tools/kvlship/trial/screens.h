// The screens of setup.exe a trial drives: the presentation, whose I Agree
// it presses as a person would, and the stages it photographs as each shows
// (preparing, copying, creating shortcuts, the demonstration's window).
#pragma once

#include "trial/operator.h"
#include "trial/runrecord.h"
#include "trial/windowlist.h"

#include <vector>

class Screens
{
  public:
    // How often I Agree was pressed, and whether the copy reached its end.
    int AgreePosts() const { return agreePosts_; }
    bool SawShortcuts() const { return sawShortcuts_; }
    // Looks at one listing of the windows: agrees, photographs what is new.
    void Look(const std::vector<TopWindow> &windows, const SetupProcess &process, Operator &op,
              RunRecord *record);

  private:
    void Agree(const std::vector<TopWindow> &windows, Operator &op, RunRecord *record);
    void Photograph(const TopWindow &top, const SetupProcess &process, Operator &op,
                    RunRecord *record);

    int agreePosts_ = 0; // I Agree pressed so many times
    double agreedAt_ = 0;
    bool presentationGone_ = false;
    bool sawPreparing_ = false, sawCopying_ = false, sawShortcuts_ = false;
};

// A picture of the screen for `stage`, kept in the run's record.
std::string Photographed(const std::string &stage, Operator &op, RunRecord *record);
