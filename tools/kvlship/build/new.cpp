// Writing a starting manifest: every regular file below a folder in [files],
// the [package] keys and the stock module's settings a product starts with.
#include "build/new.h"

#include "common/codepage.h"
#include "common/hostfs.h"
#include "formats/engine.h"

#include <stdio.h>

#include <utility>
#include <vector>

namespace
{

using TreeFiles = std::vector<std::pair<std::string, std::string>>;

// `path` as the manifest names it: relative to the manifest's folder when
// both are relative (build reads sources from there), else as given.
std::string RelativeTo(const std::string &manifestFolder, const std::string &path)
{
    std::string base = FullPath(manifestFolder), full = FullPath(path);
    if (base.empty() || full.empty())
        return path;
    if (full.size() > base.size() + 1 && full.compare(0, base.size(), base) == 0 &&
        (full[base.size()] == '/' || full[base.size()] == '\\'))
        return full.substr(base.size() + 1);
    return full;
}

// Every regular file below `folder`, sub-folders included, as installed
// paths (backslashes) and host paths; sorted, so the manifest is the same
// each time.
void ListTree(const std::string &folder, const std::string &installed, TreeFiles *files)
{
    std::vector<FolderItem> items;
    ListFolder(folder, &items);
    for (const FolderItem &item : items) {
        std::string host = JoinHost(folder, item.name);
        std::string below = installed.empty() ? item.name : installed + "\\" + item.name;
        if (item.kind == PathKind::Folder)
            ListTree(host, below, files);
        else if (item.kind == PathKind::File)
            files->push_back({below, host});
    }
}

// [package] with the keys a product starts with, and what more it may say.
std::string PackageSection(bool licence)
{
    return "; The product's manifest: kvlship build THIS_FILE OUT lays out its distribution.\r\n"
           "[package]\r\n"
           "title = My Product\r\n" +
           std::string(licence ? "licence = licence.txt\r\n"
                               : "; licence = licence.txt    (ordinary text, UTF-8: setup shows "
                                 "it in its agreement box; write one, then remove the ';')\r\n") +
           "module = stock\r\n"
           "; Setup copies as fast as the disk allows; \"no\": one file a step, at a pace\r\n"
           "; a person can follow.\r\n"
           "fast-copy = yes\r\n"
           "; The code page of the machines it installs on (file names and licence).\r\n"
           "codepage = 1252\r\n"
           "; The product's identity: its removal is registered under the id (one that\r\n"
           "; stays the same in every version); Add/Remove Programs shows the product\r\n"
           "; under its title, with this version and publisher.\r\n"
           "id = MyCompany.MyProduct\r\n"
           "version = 1.0\r\n"
           "publisher = My Company\r\n"
           "; With these three too, build also writes a zip archive and a winget manifest:\r\n"
           "; licence-name = Proprietary\r\n"
           "; description = What my product does\r\n"
           "; download-url = https://example.com/Publisher.Product-1.0.zip\r\n\r\n";
}

// The stock module's sections a product may add, as comments.
const char kMoreSettings[] =
    "; More of the stock module's settings, each a section of its own after\r\n"
    "; [PRODUCT] below (docs/stock-module.md describes every one):\r\n"
    ";   a desktop shortcut the user may decline (silently: setup /NODESKTOP)\r\n"
    ";     [DESKTOP]\r\n"
    ";     cbLink = My Product|MYPROG.EXE||.|Starts My Product\r\n"
    ";   registry values, removed with the product while they hold what was written\r\n"
    ";     [REGISTRY]\r\n"
    ";     cbItem00 = HKLM|Software\\My Company\\My Product|InstallDir|string|%DEST%\r\n"
    ";     cbItem01 = HKCU|Software\\My Company\\My Product|FirstRun|number|1\r\n"
    ";   a file type opened by the product's program, taken back at removal\r\n"
    ";     [ASSOC]\r\n"
    ";     cbItem00 = .myp|MyCompany.Document|My Product document|MYPROG.EXE|\r\n"
    "; copyright = Copyright (C) My Company    (the package's version information)\r\n\r\n";

// [files] with one line per file, and the stock module's [PRODUCT].
std::string FilesAndProduct(const TreeFiles &files, const std::string &manifestFolder)
{
    std::string text = "[files]\r\n"
                       "; installed path below the destination = source file [, plain] [, "
                       "replace] [, windows]\r\n";
    for (const auto &file : files)
        text += Utf8Path(file.first) + " = " + Utf8Path(RelativeTo(manifestFolder, file.second)) +
                "\r\n";
    text += "\r\n; The stock module's settings go into kvlsetup.dat as written\r\n"
            "; (docs/stock-module.md describes each). With cbAskFolder = 1 the user\r\n"
            "; sees the folder after the agreement and may choose another.\r\n"
            "[PRODUCT]\r\ncbFolder = My Product\r\ncbConflict = ask\r\ncbAskFolder = 1\r\n";
    return text;
}

} // namespace

int WriteNewManifest(const std::string &path, const std::string &folder, const std::string &engine)
{
    if (IsFile(path)) {
        fprintf(stderr, "kvlship: %s exists; not replacing it\n", path.c_str());
        return 2;
    }
    if (!IsFolder(folder)) {
        fprintf(stderr, "kvlship: cannot list %s\n", folder.c_str());
        return 2;
    }
    TreeFiles files;
    ListTree(folder, "", &files);
    std::string manifestFolder = HostFolderOf(path);
    bool licence = IsFile(JoinHost(manifestFolder, "licence.txt"));
    std::string text =
        PackageSection(licence) + kMoreSettings + FilesAndProduct(files, manifestFolder);
    if (!WriteWholeFile(path, text)) {
        fprintf(stderr, "kvlship: cannot write %s\n", path.c_str());
        return 2;
    }
    printf("%s lists %zu files below %s; edit it, then: kvlship build %s dist\n", path.c_str(),
           files.size(), folder.c_str(), path.c_str());
    // Listed all the same: the vendor may leave some out, or take a newer engine.
    int limit = EngineCopyEntriesIn(engine);
    if (files.size() > static_cast<size_t>(limit))
        fprintf(stderr,
                "kvlship: warning: the engine in %s installs at most %d files; build refuses "
                "more than that\n",
                engine.c_str(), limit);
    return 0;
}
