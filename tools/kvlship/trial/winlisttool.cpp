// winlist.exe run under the trial's Wine (see winlisttool.h).
#include "trial/winlisttool.h"

#ifndef _WIN32

#include "common/hostfs.h"

namespace
{

constexpr double kHelperWait = 30; // one winlist run

} // namespace

std::string WinlistTool::Call(const std::vector<std::string> &args)
{
    std::vector<std::string> all = {exe_};
    all.insert(all.end(), args.begin(), args.end());
    RunCommand(wine_.Make(all, output_), BaseEnvironment(), kHelperWait, deadline_);
    std::string answer;
    ReadWholeFile(output_, &answer);
    return answer;
}

std::vector<TopWindow> WinlistTool::List()
{
    std::vector<std::string> all = {exe_, "list"};
    if (RunCommand(wine_.Make(all, output_), BaseEnvironment(), kHelperWait, deadline_) != 0)
        return {};
    std::string listing;
    ReadWholeFile(output_, &listing);
    return ParseWindows(listing);
}

#endif
