// Names that Windows takes for a device instead of a file: CON, PRN, AUX,
// NUL, COM0-COM9, LPT0-LPT9 (also with a superscript digit), CONIN$ and
// CONOUT$, in any case and with any extension. Windows reads only the name
// before the first dot, with the blanks at its end dropped, so "CON .TXT",
// "nul.txt.gz" and "COM1 " are devices too. Plain code with no Windows
// header: the package's stub, setup.exe and kvlship judge names alike.
#pragma once

#include <stddef.h>

// True when the file name `name` (`length` bytes, no folder, in an ANSI code
// page) names a device.
bool IsDeviceName(const char *name, size_t length);

// The same for the last name of `path` (after its last '\' or '/').
bool EndsInDeviceName(const char *path);
