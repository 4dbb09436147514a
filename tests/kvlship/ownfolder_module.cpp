// A module that installs into a folder of its own, whatever the caller chose
// with /DIR=: kvlship try must judge the folder the installation really took.
#include "setupmodule.h"

extern "C" SETUP_HOOK SetDestDir(char *destDir)
{
    lstrcpynA(destDir, "C:\\Harbour Own", SETUP_PATH_SIZE);
    return 1;
}
