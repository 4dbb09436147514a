// What the trial's collaborators (the screens, the boxes, the finish
// detection) do to setup's windows and tell of what they met, and the clock
// they read. Under Wine the trial does it through winlist; a test stands in
// with a record of its own.
#pragma once

#include <string>

class Operator
{
  public:
    virtual ~Operator() = default;
    // Seconds since the trial began.
    virtual double Now() = 0;
    // Presses button `id` of the window `hwnd` (WM_COMMAND).
    virtual void Press(const std::string &hwnd, int id) = 0;
    // Posts `message` to the window `hwnd` with no parameters.
    virtual void Post(const std::string &hwnd, unsigned message) = 0;
    // Sends `message` to the window `hwnd`; winlist's answer line, empty when none came.
    virtual std::string Send(const std::string &hwnd, unsigned message) = 0;
    // Lets the screen settle for `seconds`.
    virtual void Settle(double seconds) = 0;
    // A picture of the screen for the stage `name`; its path, empty when none was taken.
    virtual std::string Shoot(const std::string &name) = 0;
    // A line of the trial's log.
    virtual void Note(const std::string &text) = 0;
    // Why the run cannot go on or ended early; the first one told is the trial's problem.
    virtual void Problem(const std::string &place, const std::string &text) = 0;
};
