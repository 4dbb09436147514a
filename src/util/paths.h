// Path text helpers. Pure text work: no file system access here.
#pragma once

#include <stddef.h>

constexpr size_t kPathSize = 260; // the platform's path limit, terminator included

// Joins a folder and a name with exactly one backslash between them: the
// backslash is added only when `first` does not already end in one. An empty
// `first` yields `second` alone, so a relative name stays relative. `second`
// is taken as it stands (a leading backslash stays).
// Returns the position of the result's terminator, or nullptr when the result
// does not fit `size`; `dest` is then empty. `dest` must not overlap the inputs.
char *JoinPath(char *dest, size_t size, const char *first, const char *second);

// The folder of a full path, with its trailing backslash: C:\SETUP\SETUP.EXE
// gives C:\SETUP\. A path without a backslash gives an empty folder.
// Returns false (and an empty `dest`) when the path does not fit `size`.
bool FolderOfPath(char *dest, size_t size, const char *path);

// Wraps a command that holds a blank in double quotes, in place.
// Returns 1 if quotes were added, 0 if the command has no blank, and -1 if
// the quoted command would not fit `size` (the command is then unchanged).
int QuoteCommand(char *command, size_t size);

// True for a full path: a drive letter, a colon and a separator, or a share
// name (two leading separators).
bool IsAbsolutePath(const char *path);

// The folder `path` names, written as one full path the way Windows resolves
// it, so that it names the folder files really land in: '/' taken for '\',
// doubled separators collapsed, "." and ".." resolved (".." never climbs
// above the root), the trailing dots and blanks of each name dropped, a
// "\\?\" prefix taken off a drive or share path, and no trailing backslash
// but for a drive's root (C:\). The root is a drive (C:\) or a share
// (\\server\share). Returns false, with an empty `dest`, for what cannot be
// such a folder: a relative or drive-relative path, a name that the trimming
// leaves empty ("..."), a character no name may hold (<>:"|?* and controls),
// a device name (CON, NUL, COM1...), any other "\\?\" or "\\.\" form, or a
// result that does not fit `size`. `dest` must not overlap `path`.
bool FullFolderPath(char *dest, size_t size, const char *path);

// True when `relative`, joined to a folder, names something inside that
// folder: it does not start with a separator, holds no colon (drive or
// stream) and no component of two or more dots. An empty text stays below.
bool StaysBelow(const char *relative);

// True for a bare file name: not empty, no folder part, no drive, and not
// made of dots alone.
bool IsPlainName(const char *name);

template <size_t N> char *JoinPath(char (&dest)[N], const char *first, const char *second)
{
    return JoinPath(dest, N, first, second);
}

template <size_t N> bool FullFolderPath(char (&dest)[N], const char *path)
{
    return FullFolderPath(dest, N, path);
}

template <size_t N> bool FolderOfPath(char (&dest)[N], const char *path)
{
    return FolderOfPath(dest, N, path);
}

template <size_t N> int QuoteCommand(char (&command)[N])
{
    return QuoteCommand(command, N);
}

// The one form of a complete path that two spellings of the same place share,
// as Windows itself resolves them: '/' taken as '\', repeated separators and
// "." components dropped, ".." taking the component before it (never the
// root), trailing dots and blanks of a component dropped, and no trailing
// backslash but the root's ("C:\"). A drive letter is made a capital; other
// letters keep their case (compare with PathWithin, which ignores it).
// False, with `dest` empty, for a path that is not complete (IsAbsolutePath),
// a device or long-path prefix (\\?\, \\.\), a share without its name, or a
// result that does not fit `size`.
bool NormaliseFullPath(char *dest, size_t size, const char *path);

// True when the normalised `path` lies below the normalised `folder`, or is
// it when `orSame`; letters compared without regard to case.
bool PathWithin(const char *path, const char *folder, bool orSame);

template <size_t N> bool NormaliseFullPath(char (&dest)[N], const char *path)
{
    return NormaliseFullPath(dest, N, path);
}
