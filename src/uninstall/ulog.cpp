#include "uninstall/ulog.h"

#include <stdarg.h>

namespace
{

HANDLE g_log = INVALID_HANDLE_VALUE;

} // namespace

bool OpenUninstallLog(const char *path)
{
    CloseUninstallLog();
    g_log = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return g_log != INVALID_HANDLE_VALUE;
}

void CloseUninstallLog()
{
    if (g_log != INVALID_HANDLE_VALUE)
        CloseHandle(g_log);
    g_log = INVALID_HANDLE_VALUE;
}

void Log(const char *format, ...)
{
    if (g_log == INVALID_HANDLE_VALUE)
        return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    // wsprintf writes 1024 characters at most, the stamp 24: room to spare.
    char line[1100];
    int length = wsprintfA(line, "%04u-%02u-%02u %02u:%02u:%02u.%03u ", now.wYear, now.wMonth,
                           now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    va_list args;
    va_start(args, format);
    length += wvsprintfA(line + length, format, args);
    va_end(args);
    // One event, one line.
    for (int i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(line[i]) < ' ')
            line[i] = ' ';
    }
    line[length++] = '\r';
    line[length++] = '\n';
    DWORD written = 0;
    WriteFile(g_log, line, static_cast<DWORD>(length), &written, nullptr);
}

void TellOrLog(bool silent, HWND owner, const char *text, const char *caption, UINT icon)
{
    Log("message \"%.259s\": %.900s", caption, text);
    if (!silent)
        MessageBoxA(owner, text, caption, MB_OK | icon);
}
