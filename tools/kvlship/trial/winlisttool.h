// winlist.exe (tools/winlist) run under the trial's Wine on Linux, one
// answer at a time: a message sent or posted to a window, or the list of
// every window on the display.
#pragma once

#ifndef _WIN32

#include "trial/process.h"
#include "trial/windowlist.h"

#include <string>
#include <vector>

// winlist.exe run under the trial's Wine, one answer at a time.
class WinlistTool
{
  public:
    void Setup(const WineRunner &wine, const std::string &exe, const std::string &output,
               Clock::time_point deadline)
    {
        wine_ = wine;
        exe_ = exe;
        output_ = output;
        deadline_ = deadline;
    }
    const std::string &Exe() const { return exe_; }
    // Its answer to `args`; empty when it gave none in time.
    std::string Call(const std::vector<std::string> &args);
    // Every window on the display; empty when winlist failed.
    std::vector<TopWindow> List();

  private:
    WineRunner wine_;
    std::string exe_, output_;
    Clock::time_point deadline_;
};

#endif
