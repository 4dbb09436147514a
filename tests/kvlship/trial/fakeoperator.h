// An operator for the trial's collaborators without Wine: a clock the test
// sets, every press, post and picture written down, and the problems told.
#pragma once

#include "common/diagnostics.h"
#include "trial/operator.h"
#include "trial/windowlist.h"

#include <string>
#include <vector>

class FakeOperator : public Operator
{
  public:
    double now = 0;
    std::string defaultReply; // the dialogs' answer to DM_GETDEFID
    std::vector<std::string> actions;
    Diagnostics problems;

    double Now() override { return now; }
    void Press(const std::string &hwnd, int id) override
    {
        actions.push_back("press " + hwnd + " " + std::to_string(id));
    }
    void Post(const std::string &hwnd, unsigned message) override
    {
        actions.push_back("post " + hwnd + " " + std::to_string(message));
    }
    std::string Send(const std::string &, unsigned) override { return defaultReply; }
    void Settle(double) override {}
    std::string Shoot(const std::string &name) override
    {
        actions.push_back("shoot " + name);
        return name + ".png";
    }
    void Note(const std::string &) override {}
    void Problem(const std::string &, const std::string &text) override
    {
        problems.Error("", text);
    }
    // The problems' texts, in the order told.
    std::vector<std::string> Told() const
    {
        std::vector<std::string> texts;
        for (const Diagnostic &problem : problems.All())
            texts.push_back(problem.text);
        return texts;
    }
};

// A window list as winlist writes it: top-level windows and their controls.
inline std::vector<TopWindow> Listed(const std::string &lines)
{
    return ParseWindows(lines);
}
