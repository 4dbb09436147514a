#include "record/journalfile.h"

#include <windows.h>

#include "util/paths.h"
#include "util/text.h"

namespace
{

struct OpenJournal {
    HANDLE file;
    uint32_t hash;
    size_t bytes;
    int entries;
    char folder[kPathSize];
};

OpenJournal g_journal = {INVALID_HANDLE_VALUE, 0, 0, 0, {}};

// Room kept for the complete line, whatever came before.
constexpr size_t kCompleteRoom = 32;

bool WriteThrough(const char *text, size_t length)
{
    DWORD written = 0;
    return WriteFile(g_journal.file, text, static_cast<DWORD>(length), &written, nullptr) &&
           written == length && FlushFileBuffers(g_journal.file);
}

bool JournalPath(char (&path)[kPathSize], const char *folder)
{
    return JoinPath(path, folder, kJournalFileName) != nullptr;
}

} // namespace

bool StartJournal(const char *folder)
{
    CloseJournal();
    char path[kPathSize];
    char text[2 * kPathSize];
    uint32_t hash = 0;
    size_t length = FormatJournalStart(folder, text, sizeof text, &hash);
    if (!length || !JournalPath(path, folder))
        return false;
    // Written through: a line is on the disk before the change it announces.
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    g_journal.file = file;
    g_journal.hash = hash;
    g_journal.bytes = length;
    g_journal.entries = 0;
    CopyText(g_journal.folder, folder);
    if (!WriteThrough(text, length)) {
        CloseJournal();
        DeleteFileA(path);
        g_journal.folder[0] = 0;
        return false;
    }
    return true;
}

bool JournalStarted()
{
    return g_journal.file != INVALID_HANDLE_VALUE;
}

const char *JournalFolder()
{
    return g_journal.folder;
}

bool WriteJournal(int kind, const char *path, const char *other)
{
    if (!JournalStarted())
        return true;
    char line[kJournalLineMax + 4];
    uint32_t hash = g_journal.hash;
    size_t length = kind > 0 ? FormatJournalEntry(kind, path, other, line, sizeof line, &hash) : 0;
    if (!length || g_journal.entries >= kJournalMaxEntries ||
        g_journal.bytes + length + kCompleteRoom > kJournalMaxBytes || !WriteThrough(line, length))
        return false;
    g_journal.hash = hash;
    g_journal.bytes += length;
    ++g_journal.entries;
    return true;
}

bool CloseJournalComplete()
{
    if (!JournalStarted())
        return false;
    char line[kCompleteRoom];
    uint32_t hash = g_journal.hash;
    size_t length = FormatJournalEntry(0, "", "", line, sizeof line, &hash);
    bool written = length && WriteThrough(line, length);
    CloseJournal();
    return written;
}

void CloseJournal()
{
    if (JournalStarted())
        CloseHandle(g_journal.file);
    g_journal.file = INVALID_HANDLE_VALUE;
}

Journal *NewJournal()
{
    return static_cast<Journal *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Journal)));
}

void FreeJournal(Journal *journal)
{
    if (journal)
        HeapFree(GetProcessHeap(), 0, journal);
}

JournalRead ReadJournalFile(const char *folder, Journal *journal, bool *missing, bool *busy)
{
    *missing = false;
    if (busy)
        *busy = false;
    ParseJournal("", 0, journal);
    char path[kPathSize];
    if (!JournalPath(path, folder))
        return JOURNAL_BAD_HEADER;
    // Not shared for writing: the journal of a setup that still runs (it
    // holds it open for writing) is not this reader's to undo.
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        *missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        if (busy)
            *busy = error == ERROR_SHARING_VIOLATION;
        return JOURNAL_BAD_HEADER;
    }
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    if (high != 0 || size == INVALID_FILE_SIZE || size > kJournalMaxBytes) {
        CloseHandle(file);
        return JOURNAL_TOO_LARGE;
    }
    char *text = static_cast<char *>(HeapAlloc(GetProcessHeap(), 0, size + 1));
    DWORD read = 0;
    bool whole = text && ReadFile(file, text, size, &read, nullptr) && read == size;
    CloseHandle(file);
    JournalRead result = whole ? ParseJournal(text, size, journal) : JOURNAL_BAD_HEADER;
    if (text)
        HeapFree(GetProcessHeap(), 0, text);
    return result;
}

bool DeleteJournalFile(const char *folder)
{
    char path[kPathSize];
    return JournalPath(path, folder) &&
           (DeleteFileA(path) || GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES);
}
