#include "uninstall/ulog.h"

#include <stdarg.h>

#include "util/logfile.h"

bool OpenUninstallLog(const char *path)
{
    return OpenLogFile(path);
}

void CloseUninstallLog()
{
    CloseLogFile();
}

void Log(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    WriteLogLine(format, args);
    va_end(args);
}

void TellOrLog(bool silent, HWND owner, const char *text, const char *caption, UINT icon)
{
    Log("message \"%.259s\": %.900s", caption, text);
    if (!silent)
        MessageBoxA(owner, text, caption, MB_OK | icon);
}
