#include "copy/installed.h"

#include <string.h>

#include "record/journalfile.h"
#include "util/text.h"

namespace
{

struct Noted {
    int kind;
    DWORD sizeLow;
    DWORD sizeHigh;
    FILETIME written;
    char path[SETUP_PATH_SIZE];
};

Noted g_defaultNoted[kInstalledSlots];
Noted *g_noted = g_defaultNoted;
int g_notedRoom = kInstalledSlots;
int g_notedCount;

Noted *NextNote(int kind, const char *path)
{
    // Beyond the room nothing more is noted: the record never holds a cut path.
    if (g_notedCount >= g_notedRoom)
        return nullptr;
    Noted *note = &g_noted[g_notedCount];
    memset(note, 0, sizeof *note);
    if (CopyText(note->path, path) < 0)
        return nullptr;
    note->kind = kind;
    ++g_notedCount;
    return note;
}

} // namespace

bool ReserveInstalled(int copyEntries)
{
    int room = 2 * copyEntries + kInstalledSlots;
    // Untouched pages cost nothing: only what is noted is ever written.
    void *taken = VirtualAlloc(nullptr, sizeof(Noted) * static_cast<size_t>(room), MEM_COMMIT,
                               PAGE_READWRITE);
    if (!taken)
        return false;
    g_noted = static_cast<Noted *>(taken);
    g_notedRoom = room;
    g_notedCount = 0;
    return true;
}

void ResetInstalled()
{
    g_notedCount = 0;
}

void NoteFolderMade(const char *folder)
{
    // Made already: a folder is journaled the moment it exists, and an undo
    // removes it only when empty, so one made before its line is harmless.
    WriteJournal(JOURNAL_DIR, folder);
    NextNote(INSTALLED_FOLDER, folder);
}

void NoteFile(int kind, const char *path, const char *content)
{
    Noted *note = NextNote(kind, path);
    if (!note ||
        (kind != INSTALLED_NEW && kind != INSTALLED_REPLACED && kind != INSTALLED_AT_RESTART))
        return;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExA(content ? content : path, GetFileExInfoStandard, &data)) {
        note->sizeLow = data.nFileSizeLow;
        note->sizeHigh = data.nFileSizeHigh;
        note->written = data.ftLastWriteTime;
    }
}

int FillInstalledItem(int n, InstalledItem *item)
{
    if (!item || n < 0 || n >= g_notedCount)
        return 0;
    // The module's record may be older (smaller) than ours: fill what it has.
    int size = item->size;
    if (size < static_cast<int>(offsetof(InstalledItem, sizeLow)))
        return 0;
    InstalledItem full;
    memset(&full, 0, sizeof full);
    const Noted &note = g_noted[n];
    full.size = size;
    full.kind = note.kind;
    full.sizeLow = note.sizeLow;
    full.sizeHigh = note.sizeHigh;
    full.written = note.written;
    memcpy(full.path, note.path, sizeof full.path);
    size_t room = static_cast<size_t>(size) < sizeof full ? static_cast<size_t>(size) : sizeof full;
    memcpy(item, &full, room);
    return 1;
}
