// The installation log that /LOG= asks for, and the shell's messages to the
// user, which go to the log and, unless the setup runs silently, to a box.
#pragma once

#include <windows.h>

// Opens (appending to) the log at `path`. Returns false when it cannot be
// opened; nothing is logged then.
bool OpenSetupLog(const char *path);

// Ends the log; later lines are dropped.
void CloseSetupLog();

// One line, time-stamped, written through to the file at once, so that a
// setup that dies leaves every line before it. `format` is wsprintf's, with
// each text bounded by its precision (%.259s); the line is cut at 1024
// characters. Does nothing without a log.
void LogLine(const char *format, ...);

// Tells the user, as TellUser does, and puts the text in the log; in the
// silent modes the log alone hears it and nothing waits for a person.
void TellOrLog(HWND owner, const char *text, const char *caption);

// True in /SILENT and /VERYSILENT: nothing may wait for a person.
bool RunsSilently();
