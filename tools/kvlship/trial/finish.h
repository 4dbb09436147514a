// When a run of setup.exe is over for the trial, from what its screens and
// boxes saw on the window lists and from its process; and, when setup ended
// before its work was done, the problem that makes of the run.
#pragma once

#include "trial/operator.h"
#include "trial/setuprun.h"

// True when there is nothing more to wait for: setup ended (and its
// demonstration showed, or had its time to), its error box was answered, or
// the agreement never came. Tells the operator why when the run ended early.
bool Finished(const SetupRun &run, bool silent, Operator &op);
