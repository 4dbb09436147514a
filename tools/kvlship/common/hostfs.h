// The host's file system as kvlship needs it, the same calls on Linux and
// on Windows. Paths are host paths; names inside a distribution folder are
// the bare names setup.exe sees.
#pragma once

#include <stddef.h>
#include <stdio.h>

#include <string>
#include <vector>

// What a path is, its last component not followed when it is a link.
enum class PathKind {
    Missing,
    File,
    Folder,
    Link,    // a symbolic link (a reparse point on Windows), never followed
    Special, // a device, FIFO or socket, never opened
};

struct FolderItem {
    std::string name;
    PathKind kind;
    bool IsFolder() const { return kind == PathKind::Folder; }
    std::string host = {}; // the host's own name when `name` is setup's view of it; else empty
    const std::string &HostName() const { return host.empty() ? name : host; }
};

PathKind KindOf(const std::string &path);

// `path` opened for reading when it is a plain file (with `followLinks`,
// also a link to one); nullptr otherwise. A device, FIFO or socket is never
// opened for reading, and trying one never waits.
FILE *OpenRegularFile(const std::string &path, bool followLinks);

// Copies the regular file `from` (with `followLinks`, also a link to one) to
// `to`, a MiB at a time, so that a file of any size costs no more memory.
// False when `from` is not such a file or a read or write fails.
bool CopyRegularFile(const std::string &from, const std::string &to, bool followLinks);

// The whole file in `bytes` when `path` is a plain file of at most `limit`
// bytes (with `followLinks`, also a link to one); false otherwise. A device,
// FIFO or socket is never read, and opening one never waits.
bool ReadWholeFile(const std::string &path, std::string *bytes, bool followLinks = true,
                   size_t limit = static_cast<size_t>(-1));

// Writes `bytes` to `path`, replacing what was there; false on any failure.
bool WriteWholeFile(const std::string &path, const std::string &bytes);

bool IsFile(const std::string &path);

// Size of a plain file in bytes; 0 for anything else, a link included.
long long FileSize(const std::string &path);
bool IsFolder(const std::string &path);

// Makes `path` and every missing folder above it.
bool MakeFolders(const std::string &path);

// True when both paths name the same existing folder, however written.
bool SameFolder(const std::string &a, const std::string &b);

// The absolute path of an existing `path`, links resolved where the host
// has them, with no separator at its end; empty when it cannot be had.
std::string FullPath(const std::string &path);

// Sets the modification time of `path` to that of `from`, so that a build
// gives the same files whenever it runs and the copy keeps the source's date.
bool CopyFileTime(const std::string &from, const std::string &path);

// Everything directly inside `folder` but "." and "..", sorted by name
// without regard to case, as the file systems of the platform list them.
bool ListFolder(const std::string &folder, std::vector<FolderItem> *items);

// The items as setup.exe under `codePage` lists them: each name in that code
// page (the host's own kept in `host`), sorted again.
void SetupView(std::vector<FolderItem> *items, int codePage);

// True when `name` matches `pattern` as the platform's directory search
// matches: "*" any run of characters, "?" any one, case ignored, "*.*" all.
// Both are text of `codePage`, compared character by character as the file
// system compares names (É matches é in code page 1252).
// At most (pattern length + 1) x (name length + 1) steps, whatever the stars.
bool WildcardMatch(const char *pattern, const char *name, int codePage = 1252);

// `folder` joined to `name` with the host's separator.
std::string JoinHost(const std::string &folder, const std::string &name);

// The folder part of `path` ("." for a bare name).
std::string HostFolderOf(const std::string &path);

// The folder holding the running program, from its own path or argv[0].
std::string OwnFolder(const char *argv0);

// Compares names as the platform does: case ignored (ASCII).
int CompareNames(const std::string &a, const std::string &b);
