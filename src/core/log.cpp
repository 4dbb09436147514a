#include "core/log.h"

#include <stdarg.h>

#include "core/context.h"
#include "setupmodule.h"
#include "util/logfile.h"
#include "util/window.h"

bool OpenSetupLog(const char *path)
{
    return OpenLogFile(path);
}

void CloseSetupLog()
{
    CloseLogFile();
}

void LogLine(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    WriteLogLine(format, args);
    va_end(args);
}

void TellOrLog(HWND owner, const char *text, const char *caption)
{
    LogLine("message \"%.259s\": %.900s", caption, text);
    if (!RunsSilently())
        TellUser(owner, text, caption);
}

bool RunsSilently()
{
    return (g_setup.mode & (SETUP_MODE_SILENT | SETUP_MODE_VERYSILENT)) != 0;
}
