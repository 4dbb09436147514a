// What kvlship try makes of a run apart from running it (see judge.h).
#include "trial/judge.h"

#include "common/lines.h"

#include "common/codepage.h"
#include "common/textout.h"
#include "formats/shelllink.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>

namespace
{

// Setup's log lines start with "YYYY-MM-DD HH:MM:SS.mmm ".
constexpr size_t kStampLength = 24;
constexpr char kDestinationLine[] = "destination: ";
constexpr char kDestToken[] = "%DEST%";
constexpr size_t kLineSize = 1024; // the stock module's line buffer
constexpr int kGroupFields = 5;
constexpr int kIniFields = 4;

bool StartsWith(const std::string &text, const std::string &start)
{
    return text.compare(0, start.size(), start) == 0;
}

std::string Trimmed(const std::string &text)
{
    size_t begin = text.find_first_not_of(" \t");
    size_t end = text.find_last_not_of(" \t");
    return begin == std::string::npos ? std::string() : text.substr(begin, end - begin + 1);
}

// Splits at '|' into exactly `count` fields, the last taking the rest, each
// trimmed, as the stock module does; false for fewer fields.
bool SplitFields(const std::string &line, int count, std::vector<std::string> *fields)
{
    fields->clear();
    size_t start = 0;
    for (int i = 0; i < count; ++i) {
        size_t bar = i == count - 1 ? std::string::npos : line.find('|', start);
        if (bar == std::string::npos && i < count - 1)
            return false;
        fields->push_back(
            Trimmed(line.substr(start, bar == std::string::npos ? bar : bar - start)));
        start = bar + 1;
    }
    return true;
}

// The `count` fields of a stock item's value (read empty when it was too
// long), or why the stock module skips the item.
std::string StockItemFields(const std::string &value, int count, std::vector<std::string> *fields)
{
    if (value.empty())
        return "is too long for the stock module, which skips it";
    if (!SplitFields(AnsiToUtf8(value), count, fields))
        return "has fewer than " + std::to_string(count) +
               " fields apart by '|': the stock module skips it";
    return std::string();
}

// Each cbItemNN of `section` up to the first missing one: its key and value
// (empty values skipped, as the module skips them).
std::vector<std::pair<std::string, std::string>> Items(const Profile &data, const char *section)
{
    std::vector<std::pair<std::string, std::string>> items;
    for (int n = 0; n < 100; ++n) {
        char key[16];
        snprintf(key, sizeof key, "cbItem%02d", n);
        if (!FindKey(data, section, key))
            break;
        size_t whole = 0;
        std::string value = ReadProfileValue(data, section, key, kLineSize, &whole);
        if (!value.empty())
            items.push_back({key, whole >= kLineSize - 1 ? std::string() : value});
    }
    return items;
}

std::string Expanded(std::string value, const std::string &destination)
{
    for (size_t at = value.find(kDestToken); at != std::string::npos;
         at = value.find(kDestToken, at + destination.size()))
        value.replace(at, sizeof kDestToken - 1, destination);
    return value;
}

std::string Quoted(const std::string &text)
{
    return "\"" + text + "\"";
}

} // namespace

bool IsChurn(const std::string &relative, const std::string &ownFolder)
{
    std::string lower = Lowered(relative);
    if (StartsWith(lower, Lowered(ownFolder) + "/"))
        return true;
    for (const char *prefix : {"windows/temp/", "windows/logs/"})
        if (StartsWith(lower, prefix))
            return true;
    // Every user's temporary folders: users/NAME/temp/ and .../appdata/local/temp/.
    return StartsWith(lower, "users/") && (lower.find("/temp/") != std::string::npos);
}

std::string LoggedDestination(const std::vector<std::string> &log)
{
    std::string found;
    for (const std::string &line : log) {
        if (line.size() > kStampLength &&
            line.compare(kStampLength, sizeof kDestinationLine - 1, kDestinationLine) == 0)
            found = line.substr(kStampLength + sizeof kDestinationLine - 1);
    }
    return found;
}

std::string LoggedStamp(const std::vector<std::string> &log, const std::string &event)
{
    std::string found;
    for (const std::string &line : log) {
        if (line.size() > kStampLength && line.compare(kStampLength, event.size(), event) == 0)
            found = line.substr(0, kStampLength - 1);
    }
    return found;
}

std::string UnexpectedBoxFault(BoxOwner owner, const std::string &caption, const std::string &text)
{
    if (owner == BoxOwner::Setup)
        return std::string();
    std::string shown = text;
    std::replace(shown.begin(), shown.end(), '\n', ' ');
    return std::string(owner == BoxOwner::Demonstration ? "the demonstration"
                                                        : "a program the setup started") +
           " showed the box \"" + caption + "\": " + shown;
}

std::vector<RegistryKey> ParseRegQuery(const std::string &text)
{
    std::vector<RegistryKey> keys;
    for (std::string line : SplitLines(text)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.pop_back();
        if (StartsWith(Lowered(line), "hkey_")) {
            keys.push_back({line, {}});
            continue;
        }
        // "    NAME    REG_SZ    VALUE": the name may hold blanks, the type may not.
        if (keys.empty() || line.empty() || (line[0] != ' ' && line[0] != '\t'))
            continue;
        for (const char *type : {"    REG_SZ", "    REG_EXPAND_SZ"}) {
            size_t at = line.find(type);
            if (at == std::string::npos)
                continue;
            std::string name = Trimmed(line.substr(0, at));
            size_t value = at + strlen(type);
            value = line.compare(value, 4, "    ") == 0 ? value + 4 : line.size();
            keys.back().values[name] = value < line.size() ? line.substr(value) : std::string();
            break;
        }
    }
    return keys;
}

std::vector<ExpectedShortcut> StockShortcuts(const Profile &data, const std::string &destination,
                                             const std::string &programs)
{
    std::vector<ExpectedShortcut> shortcuts;
    std::string group = Trimmed(ReadProfileValue(data, "GROUP", "cbName", kLineSize));
    // Without a group the stock module makes no shortcut at all.
    if (group.empty())
        return shortcuts;
    std::string folder = JoinWindows(programs, AnsiToUtf8(group));
    for (const auto &[key, value] : Items(data, "GROUP")) {
        ExpectedShortcut shortcut;
        shortcut.key = key;
        std::vector<std::string> fields;
        shortcut.problem = StockItemFields(value, kGroupFields, &fields);
        if (shortcut.problem.empty()) {
            shortcut.link = JoinWindows(folder, fields[0] + ".lnk");
            shortcut.target = JoinWindows(destination, fields[1]);
            shortcut.arguments = fields[2];
            shortcut.workingFolder = fields[3].empty() || fields[3] == "."
                                         ? destination
                                         : JoinWindows(destination, fields[3]);
            shortcut.description = fields[4];
        }
        shortcuts.push_back(shortcut);
    }
    return shortcuts;
}

std::vector<ExpectedSetting> StockSettings(const Profile &data, const std::string &destination)
{
    std::vector<ExpectedSetting> settings;
    for (const auto &[key, value] : Items(data, "INI")) {
        ExpectedSetting setting;
        setting.key = key;
        std::vector<std::string> fields;
        setting.problem = StockItemFields(value, kIniFields, &fields);
        if (setting.problem.empty()) {
            setting.file = JoinWindows(destination, fields[0]);
            setting.section = fields[1];
            setting.name = fields[2];
            setting.value = Expanded(fields[3], destination);
        }
        settings.push_back(setting);
    }
    return settings;
}

void JudgeFiles(const CheckResult &plan, const DriveLook &look, Judgement *judgement)
{
    for (const PlannedFile &file : plan.files) {
        long long size = 0;
        // The plan's paths are in setup's code page, the drive's names in UTF-8.
        std::string path = ToUtf8(file.installed, plan.codePage);
        if (!look(path, &size, nullptr))
            judgement->faults.push_back(path + " (" + file.key + ") was not installed");
        else if (size != file.size)
            judgement->faults.push_back(path + " (" + file.key + ") has " + std::to_string(size) +
                                        " bytes, not " + std::to_string(file.size));
    }
}

namespace
{

// The bytes of `path`, written for the item `line` names; false, with the
// fault said, when the line was found wrong already (`problem`) or the file
// is not there (`missing`).
bool WrittenBytes(const std::string &line, const std::string &problem, const DriveLook &look,
                  const std::string &path, const std::string &missing, std::string *bytes,
                  Judgement *judgement)
{
    if (!problem.empty()) {
        judgement->faults.push_back(line + " " + problem);
        return false;
    }
    long long size = 0;
    if (look(path, &size, bytes))
        return true;
    judgement->faults.push_back(missing);
    return false;
}

} // namespace

void JudgeShortcuts(const std::vector<ExpectedShortcut> &shortcuts, const DriveLook &look,
                    Judgement *judgement)
{
    for (const ExpectedShortcut &expected : shortcuts) {
        std::string item = "the shortcut of [GROUP] " + expected.key;
        std::string bytes;
        if (!WrittenBytes("[GROUP] " + expected.key, expected.problem, look, expected.link,
                          item + ", " + expected.link + ", was not written", &bytes, judgement))
            continue;
        ShellLink link;
        std::string problem;
        if (!ReadShellLink(std::vector<unsigned char>(bytes.begin(), bytes.end()), &link,
                           &problem)) {
            judgement->faults.push_back(item + ", " + expected.link +
                                        ", cannot be read: " + problem);
            continue;
        }
        auto differs = [&](const char *what, const std::string &found, const std::string &meant) {
            judgement->faults.push_back(item + ", " + expected.link + ", has the " + what + " " +
                                        Quoted(found) + ", not " + Quoted(meant));
        };
        if (!SameWindowsPath(link.target, expected.target))
            differs("target", link.target, expected.target);
        if (link.arguments != expected.arguments)
            differs("arguments", link.arguments, expected.arguments);
        if (!SameWindowsPath(link.workingFolder, expected.workingFolder))
            differs("working folder", link.workingFolder, expected.workingFolder);
        if (link.description != expected.description)
            differs("description", link.description, expected.description);
    }
}

void JudgeSettings(const std::vector<ExpectedSetting> &settings, const DriveLook &look,
                   Judgement *judgement)
{
    for (const ExpectedSetting &expected : settings) {
        std::string item = "the setting of [INI] " + expected.key;
        std::string bytes;
        if (!WrittenBytes("[INI] " + expected.key, expected.problem, look, expected.file,
                          item + ": its file " + expected.file + " was not written", &bytes,
                          judgement))
            continue;
        Profile written;
        ParseProfile(bytes, &written);
        std::string where = expected.file + " [" + expected.section + "] " + expected.name;
        if (!FindKey(written, expected.section.c_str(), expected.name.c_str())) {
            judgement->faults.push_back(item + ": " + where + " is missing");
            continue;
        }
        std::string value = AnsiToUtf8(ReadProfileValue(written, expected.section.c_str(),
                                                        expected.name.c_str(), bytes.size() + 1));
        if (value != expected.value)
            judgement->faults.push_back(item + ": " + where + " is " + Quoted(value) + ", not " +
                                        Quoted(expected.value));
    }
}

void NoteNoLongerShipped(const CheckResult &older, const CheckResult &plan, const DriveLook &look,
                         Judgement *judgement)
{
    for (const PlannedFile &old : older.files) {
        bool shipped = false;
        for (const PlannedFile &file : plan.files)
            shipped = shipped || SameWindowsPath(file.installed, old.installed);
        if (shipped)
            continue;
        long long size = 0;
        std::string path = AnsiToUtf8(old.installed);
        judgement->notes.push_back(
            path + ", installed by the older version, is not shipped by this one: " +
            (look(path, &size, nullptr) ? "the upgrade left it, for the removal to take"
                                        : "the upgrade removed it"));
    }
}
