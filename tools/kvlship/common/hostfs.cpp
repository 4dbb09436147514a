// The host's file calls, on Linux and Windows alike (see hostfs.h).
// Sizes past 2 GiB: without this MinGW's stat (and a 32-bit host's) is 32-bit.
#define _FILE_OFFSET_BITS 64

#include "common/hostfs.h"

#include "common/codepage.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <direct.h>
#include <sys/utime.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>
#include <utime.h>
#endif

namespace
{

bool IsHostSeparator(char c)
{
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

int Lower(char c)
{
    return tolower(static_cast<unsigned char>(c));
}

#ifdef _WIN32
// On Windows a link is told by its attributes (KindOf); stat serves the rest.
int LinkStat(const char *path, struct stat *info)
{
    return stat(path, info);
}
#else
int LinkStat(const char *path, struct stat *info)
{
    return lstat(path, info);
}
#endif

PathKind KindOfMode(unsigned mode)
{
    if (S_ISREG(mode))
        return PathKind::File;
    if (S_ISDIR(mode))
        return PathKind::Folder;
#ifndef _WIN32
    if (S_ISLNK(mode))
        return PathKind::Link;
#endif
    return PathKind::Special;
}

} // namespace

PathKind KindOf(const std::string &path)
{
#ifdef _WIN32
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return PathKind::Missing;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return PathKind::Link;
#endif
    struct stat info;
    if (LinkStat(path.c_str(), &info) != 0)
        return PathKind::Missing;
    return KindOfMode(info.st_mode);
}

FILE *OpenRegularFile(const std::string &path, bool followLinks)
{
#ifdef _WIN32
    if (KindOf(path) != PathKind::File && (!followLinks || !IsFile(path)))
        return nullptr;
    return fopen(path.c_str(), "rb");
#else
    // O_NONBLOCK: opening a FIFO must not wait for a writer. The type is
    // looked at once the file is open, so that nothing can swap it in between.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | (followLinks ? 0 : O_NOFOLLOW));
    if (fd < 0)
        return nullptr;
    struct stat info;
    FILE *file = nullptr;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        file = fdopen(fd, "rb");
    if (!file)
        close(fd);
    return file;
#endif
}

bool ReadWholeFile(const std::string &path, std::string *bytes, bool followLinks, size_t limit)
{
    bytes->clear();
    FILE *file = OpenRegularFile(path, followLinks);
    if (!file)
        return false;
    char chunk[1 << 16];
    size_t got;
    bool ok = true;
    while (ok && (got = fread(chunk, 1, sizeof chunk, file)) > 0) {
        ok = got <= limit - bytes->size();
        if (ok)
            bytes->append(chunk, got);
    }
    ok = ok && !ferror(file);
    fclose(file);
    if (!ok)
        bytes->clear();
    return ok;
}

bool WriteWholeFile(const std::string &path, const std::string &bytes)
{
    FILE *file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}

bool IsFile(const std::string &path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

long long FileSize(const std::string &path)
{
    struct stat info;
    return KindOf(path) == PathKind::File && stat(path.c_str(), &info) == 0 ? info.st_size : 0;
}

bool IsFolder(const std::string &path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool MakeFolders(const std::string &path)
{
    if (path.empty() || IsFolder(path))
        return true;
    size_t cut = path.size();
    while (cut > 0 && !IsHostSeparator(path[cut - 1]))
        --cut;
    if (cut > 1 && !MakeFolders(path.substr(0, cut - 1)))
        return false;
#ifdef _WIN32
    return _mkdir(path.c_str()) == 0 || IsFolder(path);
#else
    return mkdir(path.c_str(), 0777) == 0 || IsFolder(path);
#endif
}

bool SameFolder(const std::string &a, const std::string &b)
{
    if (!IsFolder(a) || !IsFolder(b))
        return false;
#ifdef _WIN32
    char fullA[MAX_PATH], fullB[MAX_PATH];
    if (!_fullpath(fullA, a.c_str(), sizeof fullA) || !_fullpath(fullB, b.c_str(), sizeof fullB))
        return false;
    std::string x = fullA, y = fullB;
    while (x.size() > 3 && IsHostSeparator(x.back()))
        x.pop_back();
    while (y.size() > 3 && IsHostSeparator(y.back()))
        y.pop_back();
    return CompareNames(x, y) == 0;
#else
    struct stat x, y;
    return stat(a.c_str(), &x) == 0 && stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev &&
           x.st_ino == y.st_ino;
#endif
}

std::string FullPath(const std::string &path)
{
#ifdef _WIN32
    char full[MAX_PATH];
    if (!_fullpath(full, path.c_str(), sizeof full))
        return "";
#else
    char full[PATH_MAX];
    if (!realpath(path.c_str(), full))
        return "";
#endif
    std::string text = full;
    // A root keeps its separator ("/", "C:\\").
    while (text.size() > 3 && IsHostSeparator(text.back()))
        text.pop_back();
    return text;
}

bool CopyFileTime(const std::string &from, const std::string &path)
{
    struct stat info;
    if (stat(from.c_str(), &info) != 0)
        return false;
#ifdef _WIN32
    struct _utimbuf times = {info.st_mtime, info.st_mtime};
    return _utime(path.c_str(), &times) == 0;
#else
    struct utimbuf times = {info.st_mtime, info.st_mtime};
    return utime(path.c_str(), &times) == 0;
#endif
}

bool ListFolder(const std::string &folder, std::vector<FolderItem> *items)
{
    items->clear();
#ifdef _WIN32
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(JoinHost(folder, "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return IsFolder(folder);
    do {
        if (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0)
            continue;
        DWORD attributes = found.dwFileAttributes;
        items->push_back(
            {found.cFileName, (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? PathKind::Link
                              : (attributes & FILE_ATTRIBUTE_DIRECTORY)   ? PathKind::Folder
                                                                          : PathKind::File});
    } while (FindNextFileA(search, &found));
    FindClose(search);
#else
    DIR *dir = opendir(folder.c_str());
    if (!dir)
        return false;
    while (struct dirent *entry = readdir(dir)) {
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0)
            continue;
        items->push_back({entry->d_name, KindOf(JoinHost(folder, entry->d_name))});
    }
    closedir(dir);
#endif
    std::sort(items->begin(), items->end(), [](const FolderItem &a, const FolderItem &b) {
        int order = CompareNames(a.name, b.name);
        return order != 0 ? order < 0 : a.name < b.name;
    });
    return true;
}

void SetupView(std::vector<FolderItem> *items, int codePage)
{
    for (FolderItem &item : *items) {
        std::string name = HostNameIn(item.name, codePage);
        if (name != item.name) {
            item.host = item.name;
            item.name = name;
        }
    }
    std::sort(items->begin(), items->end(), [](const FolderItem &a, const FolderItem &b) {
        int order = CompareNames(a.name, b.name);
        return order != 0 ? order < 0 : a.name < b.name;
    });
}

namespace
{

bool MatchCodes(const char32_t *pattern, const char32_t *name)
{
    // Each "*" first takes nothing; on a mismatch only the latest one takes
    // one character more. An earlier "*" never needs more: whatever it could
    // take, the latest can take as well. So no step is ever tried twice.
    const char32_t *afterStar = nullptr, *retry = nullptr;
    while (*name) {
        if (*pattern == '*') {
            afterStar = ++pattern;
            retry = name;
        } else if (*pattern && (*pattern == '?' || Upcase(*pattern) == Upcase(*name))) {
            ++pattern;
            ++name;
        } else if (afterStar) {
            pattern = afterStar;
            name = ++retry;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return !*pattern;
}

bool IsShortNameChar(char32_t c)
{
    return c < 0x80 && c > ' ' && !strchr("\"*+,./:;<=>?[\\]|", static_cast<int>(c));
}

// The short (8.3) alias the file system gives a name that is no 8.3 name
// itself, in the form Windows makes it: up to six characters of the stem,
// "~1", and three of the extension. Empty for an 8.3 name, which has none.
// A directory search matches a pattern against both names; the number
// after the "~" depends on the folder, so a pattern should not spell it.
std::u32string ShortAlias(const std::u32string &name)
{
    size_t dot = name.rfind('.');
    std::u32string stem = dot == std::u32string::npos ? name : name.substr(0, dot);
    std::u32string extension = dot == std::u32string::npos ? U"" : name.substr(dot + 1);
    bool plain = !stem.empty() && stem.size() <= 8 && extension.size() <= 3;
    for (char32_t c : stem + extension)
        plain = plain && IsShortNameChar(c);
    if (plain)
        return U"";
    std::u32string base, end;
    for (char32_t c : stem) {
        if (c != ' ' && c != '.' && base.size() < 6)
            base += IsShortNameChar(c) ? Upcase(c) : U'_';
    }
    for (char32_t c : extension) {
        if (c != ' ' && end.size() < 3)
            end += IsShortNameChar(c) ? Upcase(c) : U'_';
    }
    return base + U"~1" + (end.empty() ? U"" : U"." + end);
}

} // namespace

bool WildcardMatch(const char *patternText, const char *nameText, int codePage)
{
    // "*.*" is the platform's way of saying "every name", dot or none; so is
    // "*." under Wine (Windows takes it for the names without an extension).
    if (strcmp(patternText, "*.*") == 0 || strcmp(patternText, "*.") == 0)
        return true;
    std::u32string pattern = Decode(patternText, codePage), name = Decode(nameText, codePage);
    if (MatchCodes(pattern.c_str(), name.c_str()))
        return true;
    std::u32string alias = ShortAlias(name);
    return !alias.empty() && MatchCodes(pattern.c_str(), alias.c_str());
}

std::string JoinHost(const std::string &folder, const std::string &name)
{
    if (folder.empty() || folder == ".")
        return name;
    if (IsHostSeparator(folder.back()))
        return folder + name;
    return folder + "/" + name;
}

std::string HostFolderOf(const std::string &path)
{
    size_t cut = path.size();
    while (cut > 0 && !IsHostSeparator(path[cut - 1]))
        --cut;
    if (cut == 0)
        return ".";
    return cut == 1 ? path.substr(0, 1) : path.substr(0, cut - 1);
}

std::string OwnFolder(const char *argv0)
{
#ifdef _WIN32
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
    if (length > 0 && length < sizeof self)
        return HostFolderOf(self);
#else
    char self[4096];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        self[length] = 0;
        return HostFolderOf(self);
    }
#endif
    return HostFolderOf(argv0 ? argv0 : "");
}

int CompareNames(const std::string &a, const std::string &b)
{
    size_t i = 0;
    for (; i < a.size() && i < b.size(); ++i) {
        int difference = Lower(a[i]) - Lower(b[i]);
        if (difference != 0)
            return difference;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

bool CopyRegularFile(const std::string &from, const std::string &to, bool followLinks)
{
    FILE *in = OpenRegularFile(from, followLinks);
    if (!in)
        return false;
    FILE *out = fopen(to.c_str(), "wb");
    bool ok = out != nullptr;
    std::vector<char> piece(1 << 20);
    size_t got;
    while (ok && (got = fread(piece.data(), 1, piece.size(), in)) > 0)
        ok = fwrite(piece.data(), 1, got, out) == got;
    ok = ok && !ferror(in);
    fclose(in);
    if (out)
        ok = fclose(out) == 0 && ok;
    return ok;
}
