// A plain-text log that a deployment collects: time-stamped lines, appended
// and written through as they come, so that a program that dies leaves every
// line before it. One log per process (setup.exe's /LOG=, uninst.exe's).
#pragma once

#include <stdarg.h>

// Opens (appending to) the log at `path`; false when it cannot be opened,
// and nothing is logged then.
bool OpenLogFile(const char *path);

// Ends the log; later lines are dropped.
void CloseLogFile();

// One line: the local time, then `format` (wsprintf's, each text bounded by
// its precision, %.259s) with `args`, cut at 1024 characters, every control
// character a blank so that one event stays one line. Nothing without a log.
void WriteLogLine(const char *format, va_list args);
