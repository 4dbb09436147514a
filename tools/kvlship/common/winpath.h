// Windows paths as kvlship reasons about them on any host: the prefix's
// drive C: below its drive_c folder, names compared as Windows compares them,
// and the folder a 64-bit Windows gives a 32-bit setup.
#pragma once

#include <string>

// The Windows path of a path below drive_c ("Program Files/A" gives "C:\Program Files\A").
std::string DriveToWindows(const std::string &relative);

// The path below drive_c ('/' between names) of a Windows path on C:; empty
// for a path on another drive, a relative one, or one with "." or ".." in it.
std::string WindowsToDrive(const std::string &windowsPath);

// True when two Windows paths name the same place: case ignored, '/' taken for
// '\', a separator at the end ignored.
bool SameWindowsPath(const std::string &a, const std::string &b);

// `folder` + "\" + `name` (no second separator).
std::string JoinWindows(const std::string &folder, const std::string &name);

// The folder a 64-bit Windows gives a 32-bit setup for `destination` below
// "C:\Program Files" (its 32-bit view is "C:\Program Files (x86)"); empty for
// any other destination.
std::string Wow64Destination(const std::string &destination);

// Why Windows would not keep `name` (one name of a path, in the target's
// code page) as written; empty when it would. A device's name (CON, NUL,
// COM1, ... with any extension, "CON .TXT" too) names no file, and a final
// dot or blank is dropped, so the file would land under another name.
std::string WhyNotWindowsName(const std::string &name);

// The same for each name of `path` (backslashes between them): the first
// reason, with the name it is about; empty when every name is kept.
std::string WhyNotWindowsPath(const std::string &path);

// Why the copy cannot write a file at the full path `path`, or "" when it
// can: the path or its folder is longer than the platform allows.
std::string WhyPathTooLong(const std::string &path);

// The default destinations of a product whose folder below Program Files is
// `folder` (empty: the engine's own), the longer (64-bit Windows) first.
std::string DefaultDestinationX86(const std::string &folder);
std::string DefaultDestination(const std::string &folder);
