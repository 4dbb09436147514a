// The trial's Wine prefix, kept and copied (see prefix.h).
#include "trial/prefix.h"

#ifndef _WIN32

#include "common/hostfs.h"
#include "kvlship_prefix_settings.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

namespace
{

namespace fs = std::filesystem;

// The mark of a whole kept prefix, and the number of the recipe that makes
// it (raise it whenever the making changes, so that no old one is used; the
// settings' own changes are seen by their checksum).
constexpr char kKeptMark[] = ".kvlship-kept";
constexpr int kPrefixRecipe = 2;

// FNV-1a of the settings: a kept prefix made with other settings is not taken.
unsigned SettingsChecksum()
{
    unsigned hash = 2166136261u;
    for (const char *c = kPrefixSettings; *c; ++c)
        hash = (hash ^ static_cast<unsigned char>(*c)) * 16777619u;
    return hash;
}

} // namespace

// Where the prefix for this Wine is kept: below the user's cache, named
// after its kind and the Wine loader's size and time, so that another Wine
// makes its own. Empty without a place to keep it.
std::string KeptPrefixFolder(const PrefixPlan &plan)
{
    const char *cache = getenv("XDG_CACHE_HOME");
    const char *home = getenv("HOME");
    fs::path base = cache && *cache ? fs::path(cache)
                    : home && *home ? fs::path(home) / ".cache"
                                    : fs::path();
    struct stat wine;
    if (base.empty() || stat(plan.wine.loader.c_str(), &wine) != 0)
        return std::string();
    char name[128];
    snprintf(name, sizeof name, "prefix-%s-%llx-%llx-%d-%08x", plan.win64 ? "win64" : "win32",
             static_cast<unsigned long long>(wine.st_size),
             static_cast<unsigned long long>(wine.st_mtime), kPrefixRecipe, SettingsChecksum());
    return (base / "kvlship" / name).string();
}

long long FolderBytes(const std::string &folder)
{
    long long total = 0;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied,
                                             error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        std::error_code ignored;
        if (it->is_regular_file(ignored) && !it->is_symlink(ignored))
            total += static_cast<long long>(it->file_size(ignored));
    }
    return total;
}

namespace
{

class PrefixMaker
{
  public:
    PrefixMaker(const PrefixPlan &plan, const std::function<void(const std::string &)> &note,
                Diagnostics *problems)
        : plan_(plan), note_(note), problems_(problems), prefix_(plan.prefix),
          drive_(prefix_ / "drive_c")
    {
    }

    // A copy of the prefix kept for this Wine, made once (wineboot takes ten
    // seconds and more; a copy, one or two). A real copy, never links into
    // the kept prefix: the distribution's code runs in this one and must not
    // reach the next trial's.
    bool Make()
    {
        fs::path kept = KeptPrefix();
        if (kept.empty())
            return BootPrefix();
        int lock = open((kept.string() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (lock < 0 || flock(lock, LOCK_EX) != 0) {
            if (lock >= 0)
                close(lock);
            return BootPrefix();
        }
        std::error_code error;
        bool ok;
        if (fs::exists(kept / kKeptMark, error)) {
            note_("copying the prefix kept in " + kept.string());
            ok = CopyTree(kept, prefix_) && RemoveHostDrives();
        } else {
            ok = BootPrefix();
            // Kept only whole: a copy cut short is never taken for a prefix.
            fs::path building = kept.string() + ".new";
            fs::remove_all(building, error);
            if (ok && CopyTree(prefix_, building) &&
                WriteWholeFile((building / kKeptMark).string(), "ready\n")) {
                fs::remove_all(kept, error);
                fs::rename(building, kept, error);
            }
        }
        close(lock);
        return ok;
    }

  private:
    bool Fail(const std::string &problem)
    {
        problems_->Error("prefix", problem);
        return false;
    }

    fs::path KeptPrefix() const
    {
        std::string kept = KeptPrefixFolder(plan_);
        std::error_code error;
        if (!kept.empty())
            fs::create_directories(fs::path(kept).parent_path(), error);
        return error ? fs::path() : fs::path(kept);
    }

    // Copies the folder `from` to `to` (which must not exist) as it stands:
    // links stay links, pointing where they pointed.
    bool CopyTree(const fs::path &from, const fs::path &to)
    {
        std::error_code error;
        fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
        if (error)
            return Fail("cannot copy the prefix " + from.string() + ": " + error.message());
        return true;
    }

    // A new prefix, made by wineboot, with our settings and no host drive.
    bool BootPrefix()
    {
        std::vector<std::string> env = BaseEnvironment();
        note_("making the prefix " + prefix_.string());
        if (RunCommand(plan_.wine.Make({"wineboot", "-i"}, ""), env, 180, plan_.deadline) != 0)
            return Fail(plan_.win64 ? "wineboot could not make a 64-bit prefix (is wine64 "
                                      "installed beside wine32:i386? see " +
                                          plan_.wine.log + ")"
                                    : "wineboot could not make a 32-bit prefix (is wine32:i386 "
                                      "installed? see " +
                                          plan_.wine.log + ")");
        if (!RemoveHostDrives())
            return false;
        // With no drive to the host, the settings reach Wine through C:.
        std::error_code error;
        fs::create_directories(drive_ / plan_.distFolder, error);
        std::string regPath = (drive_ / plan_.distFolder / "settings.reg").string();
        std::string regWindows = "C:\\" + plan_.distFolder + "\\settings.reg";
        if (!WriteWholeFile(regPath, kPrefixSettings) ||
            RunCommand(plan_.wine.Make({"regedit", "/S", regWindows}, ""), env, 60,
                       plan_.deadline) != 0)
            return Fail("cannot write the prefix's settings (see " + plan_.wine.log + ")");
        fs::remove(regPath, error);
        // Lets the prefix settle, so that what Wine writes at its start is not
        // taken for the setup's work.
        RunCommand({{plan_.wineserver, "-w"}, "", "", plan_.wine.log, plan_.wine.env}, env, 30,
                   plan_.deadline);
        if (Clock::now() >= plan_.deadline)
            return Fail("the time ran out while the prefix was made");
        return true;
    }

    // The prefix maps no host folder but the work folder. Wine's drive Z:
    // (the host's root) and every other drive that leads out of the prefix
    // go; the profile's folders that Wine links to HOME point into the work
    // folder (home/), anything else there becomes a folder.
    bool RemoveHostDrives()
    {
        if (!UnlinkOutside(prefix_ / "dosdevices", prefix_, true))
            return false;
        std::error_code error;
        for (fs::directory_iterator it(drive_ / "users", error);
             !error && it != fs::directory_iterator(); it.increment(error)) {
            if (fs::is_directory(it->symlink_status(error)) &&
                !UnlinkOutside(it->path(), plan_.work, false))
                return false;
        }
        return true;
    }

    // Removes each link in `folder` that leads outside `allowed`: among the
    // prefix's `devices` its drives ("d:", and "d::" for the raw device),
    // elsewhere every link, made a folder again.
    bool UnlinkOutside(const fs::path &folder, const fs::path &allowed, bool devices)
    {
        std::error_code error;
        fs::path inside = fs::weakly_canonical(allowed, error);
        for (fs::directory_iterator it(folder, error); !error && it != fs::directory_iterator();
             it.increment(error)) {
            std::error_code ignored;
            std::string name = it->path().filename().string();
            bool drive = name.size() >= 2 && name.size() <= 3 && name[1] == ':' &&
                         name.find_first_not_of(':', 1) == std::string::npos;
            if (!fs::is_symlink(it->symlink_status(ignored)) || (devices && !drive))
                continue;
            fs::path target = fs::read_symlink(it->path(), ignored);
            target = fs::weakly_canonical(folder / target, ignored);
            if (!ignored && PathInside(target.string(), inside.string()))
                continue;
            note_("removed " + it->path().string() + " -> " + target.string());
            if (!fs::remove(it->path(), ignored) ||
                (!devices && !fs::create_directory(it->path(), ignored)))
                return Fail("cannot remove the link " + it->path().string() +
                            " to the host: " + ignored.message());
        }
        if (error)
            return Fail("cannot list " + folder.string() + ": " + error.message());
        return true;
    }

    const PrefixPlan &plan_;
    const std::function<void(const std::string &)> &note_;
    Diagnostics *problems_;
    fs::path prefix_, drive_;
};

} // namespace

bool PathInside(const std::string &inner, const std::string &outer)
{
    fs::path in(inner), out(outer);
    auto mismatch = std::mismatch(out.begin(), out.end(), in.begin(), in.end());
    return mismatch.first == out.end();
}

bool MakeTrialPrefix(const PrefixPlan &plan, const std::function<void(const std::string &)> &note,
                     Diagnostics *problems)
{
    return PrefixMaker(plan, note, problems).Make();
}

#endif
