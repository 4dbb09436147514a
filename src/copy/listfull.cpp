#include "copy/listfull.h"

#include <windows.h>

void TellListFull(const char *text, const char *caption)
{
    MessageBoxA(nullptr, text, caption, MB_OK);
}
