#include "util/logfile.h"

#include <windows.h>

namespace
{

HANDLE g_log = INVALID_HANDLE_VALUE;

} // namespace

bool OpenLogFile(const char *path)
{
    CloseLogFile();
    // Others may read it while we write: a deployment system collects it as
    // it grows.
    g_log = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return g_log != INVALID_HANDLE_VALUE;
}

void CloseLogFile()
{
    if (g_log != INVALID_HANDLE_VALUE)
        CloseHandle(g_log);
    g_log = INVALID_HANDLE_VALUE;
}

void WriteLogLine(const char *format, va_list args)
{
    if (g_log == INVALID_HANDLE_VALUE)
        return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    // wsprintf writes 1024 characters at most, the stamp 24: room to spare.
    char line[1100];
    int length = wsprintfA(line, "%04u-%02u-%02u %02u:%02u:%02u.%03u ", now.wYear, now.wMonth,
                           now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    length += wvsprintfA(line + length, format, args);
    for (int i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(line[i]) < ' ')
            line[i] = ' ';
    }
    line[length++] = '\r';
    line[length++] = '\n';
    DWORD written = 0;
    // No buffer of ours: each line is in the system's hands when this returns.
    WriteFile(g_log, line, static_cast<DWORD>(length), &written, nullptr);
}
