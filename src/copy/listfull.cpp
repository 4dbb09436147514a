#include "copy/listfull.h"

#include <windows.h>

#include "core/log.h"

void TellListFull(const char *text, const char *caption)
{
    LogLine("message \"%.259s\": %.900s", caption, text);
    if (!RunsSilently())
        MessageBoxA(nullptr, text, caption, MB_OK);
}
