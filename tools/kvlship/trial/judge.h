// What `kvlship try` makes of a run, apart from running it: paths on the
// prefix's drive C:, the destination setup's log names, the Add/Remove
// Programs keys `reg query` lists, and the judgement of an installation
// against the plan and the stock module's settings ([GROUP] shortcuts,
// [INI] entries). Portable, without Wine: the trial hands it a look at the
// drive.
#pragma once

#include "check/check.h"
#include "common/profile.h"
#include "common/winpath.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

// Files below drive_c that Wine writes for itself, and the trial's own
// folder (`ownFolder`, below C:\).
bool IsChurn(const std::string &relative, const std::string &ownFolder);

// The destination setup.exe names in its log ("destination: ..." after the
// time stamp, written once the module's SetDestDir has answered); the last
// one, or empty when there is none. A module's own log lines cannot pass for it.
std::string LoggedDestination(const std::vector<std::string> &log);

// The time stamp ("YYYY-MM-DD HH:MM:SS.mmm", the prefix's local time) of the
// last line of setup's log whose text starts with `event`; empty when none.
std::string LoggedStamp(const std::vector<std::string> &log, const std::string &event);

// Whose box a run met: setup.exe's (the shell's or its module's), the
// demonstration's, or another program's.
enum class BoxOwner { Setup, Demonstration, Other };

// The fault a box makes of a run, or empty when the run may show it. Setup's
// own boxes are its questions and notices (its error boxes end the run and
// are judged by that end); a box of any program setup started means starting
// it went wrong: the customer would meet it, however the trial answered it.
std::string UnexpectedBoxFault(BoxOwner owner, const std::string &caption, const std::string &text);

// A registry key as `reg query KEY /s` lists it, with its text values.
struct RegistryKey {
    std::string name;                          // HKEY_LOCAL_MACHINE\...
    std::map<std::string, std::string> values; // REG_SZ and REG_EXPAND_SZ, by name
};
std::vector<RegistryKey> ParseRegQuery(const std::string &text);

// A shortcut the stock module makes for a [GROUP] item.
struct ExpectedShortcut {
    std::string key;  // cbItemNN
    std::string link; // the .lnk file
    std::string target, arguments, workingFolder, description;
    std::string problem; // why the module cannot make it; empty when it can
};

// A setting the stock module writes for an [INI] item.
struct ExpectedSetting {
    std::string key; // cbItemNN
    std::string file, section, name, value;
    std::string problem;
};

// What the stock module makes of the data file's [GROUP] and [INI] items for
// `destination`, with the Start menu's Programs folder `programs`. Texts in
// UTF-8 (the data file's are read as code page 1252).
std::vector<ExpectedShortcut> StockShortcuts(const Profile &data, const std::string &destination,
                                             const std::string &programs);
std::vector<ExpectedSetting> StockSettings(const Profile &data, const std::string &destination);

// A look at the drive after the installation: false when `windowsPath` is
// no plain file; else its size and, when `bytes` is given, its first MiB.
using DriveLook =
    std::function<bool(const std::string &windowsPath, long long *size, std::string *bytes)>;

// Each miss is a fault; what is worth knowing but no fault is a note.
struct Judgement {
    std::vector<std::string> faults;
    std::vector<std::string> notes;
};

// Every planned file at its installed size.
void JudgeFiles(const CheckResult &plan, const DriveLook &look, Judgement *judgement);
// Every shortcut there, pointing where its item says, with its arguments,
// working folder and description.
void JudgeShortcuts(const std::vector<ExpectedShortcut> &shortcuts, const DriveLook &look,
                    Judgement *judgement);
// Every setting in its file with its value.
void JudgeSettings(const std::vector<ExpectedSetting> &settings, const DriveLook &look,
                   Judgement *judgement);
// An upgrade: each file the older version's plan installed that this plan
// no longer ships, noted with whether the upgrade left it.
void NoteNoLongerShipped(const CheckResult &older, const CheckResult &plan, const DriveLook &look,
                         Judgement *judgement);
