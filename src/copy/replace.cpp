#include "copy/replace.h"

#include <windows.h>

#include <string.h>

#include "record/aside.h"
#include "record/journal.h"
#include "record/journalfile.h"
#include "setupdist.h"
#include "util/paths.h"
#include "util/text.h"

namespace
{

constexpr int kMostRestarts = 64;

char g_restarts[kMostRestarts][kPathSize];
char g_restartSources[kMostRestarts][kPathSize];
int g_restartCount;

bool Exists(const char *path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// Held by another program that does not share its deletion (nor its
// renaming): a running program's file, an open document.
bool HeldElsewhere(const char *path)
{
    HANDLE file = CreateFileA(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return false;
    }
    DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_USER_MAPPED_FILE;
}

PlaceResult ScheduleForRestart(const char *temporary, const char *destination)
{
    if (!WriteJournal(JOURNAL_RESTART, temporary, destination))
        return PLACE_FAILED;
    if (!MoveFileExA(temporary, destination,
                     MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING))
        return PLACE_FAILED;
    if (g_restartCount < kMostRestarts && CopyText(g_restarts[g_restartCount], destination) >= 0 &&
        CopyText(g_restartSources[g_restartCount], temporary) >= 0)
        ++g_restartCount;
    return PLACE_AT_RESTART;
}

PlaceResult Fail(DWORD error)
{
    SetLastError(error);
    return PLACE_FAILED;
}

} // namespace

bool JournalTemporary(const char *temporary)
{
    return WriteJournal(JOURNAL_TEMP, temporary);
}

PlaceResult PutInPlace(const char *temporary, const char *destination)
{
    if (!Exists(destination)) {
        if (!WriteJournal(JOURNAL_NEW, destination))
            return Fail(ERROR_WRITE_FAULT);
        return MoveFileExA(temporary, destination, 0) ? PLACE_DONE : PLACE_FAILED;
    }
    if (HeldElsewhere(destination))
        return ScheduleForRestart(temporary, destination);
    // Without a journal nothing could put the old file back: replaced at once.
    if (!JournalStarted())
        return MoveFileExA(temporary, destination, MOVEFILE_REPLACE_EXISTING) ? PLACE_DONE
                                                                              : PLACE_FAILED;
    char aside[kPathSize];
    if (!NameAside(destination, aside, GetTickCount() ^ GetCurrentProcessId()))
        return Fail(ERROR_FILENAME_EXCED_RANGE);
    if (!WriteJournal(JOURNAL_ASIDE, destination, aside))
        return Fail(ERROR_WRITE_FAULT);
    // A rename on the destination's own volume: nothing is copied.
    if (!MoveFileExA(destination, aside, 0)) {
        DWORD error = GetLastError();
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
            return ScheduleForRestart(temporary, destination);
        return Fail(error);
    }
    if (MoveFileExA(temporary, destination, 0))
        return PLACE_DONE;
    DWORD error = GetLastError();
    MoveFileExA(aside, destination, 0);
    return Fail(error);
}

int RestartCount()
{
    return g_restartCount;
}

const char *RestartPath(int index)
{
    return index >= 0 && index < g_restartCount ? g_restarts[index] : "";
}

const char *RestartSource(int index)
{
    return index >= 0 && index < g_restartCount ? g_restartSources[index] : "";
}
