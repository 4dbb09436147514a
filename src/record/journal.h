// The journal: what an installation under way is about to change, written
// into the destination before each change, so that an installation cut off
// (killed, a power loss) is undone by the next run of setup for that folder,
// or by the uninstaller. Pure text work, no file system: it is built
// natively for the fuzz target too.
//
// The text, one entry a line, each line ending in CR LF, fields separated by
// one tab (no field holds a tab or any other control character):
//
//   KARVELO-JOURNAL<TAB>1
//   folder<TAB>path<TAB>check            the destination
//   dir<TAB>path<TAB>check               a folder setup made
//   new<TAB>path<TAB>check               a file about to be made where none was
//   temp<TAB>path<TAB>check              a temporary file setup made
//   aside<TAB>path<TAB>kept<TAB>check    a file about to be renamed to `kept`,
//                                        in its folder, before its replacement
//   restart<TAB>temp<TAB>path<TAB>check  `temp` replaces `path` at the restart
//   key<TAB>key<TAB>copy<TAB>check       a registry key ("HKLM\..." or
//                                        "HKCU\...") about to be written,
//                                        its values first copied to `copy`,
//                                        a key below kKeptKeysFolder there
//   complete<TAB>check                   the installation is complete: what
//                                        was kept aside may go
//
// `check` is the FNV-1a hash (32 bits, 8 hex digits) of every byte of the
// journal before it, its own line's tab included: a line is only taken whole
// and in its place. The last line may be cut (the writer was stopped while
// writing it): it is dropped, as the change it announced was not made yet.
// Any other damage makes the whole journal unusable. Every path is complete,
// at most 259 characters; so is a key with its root, and a copy's name
// holds no backslash. Journals written before the key lines read as ever.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "record/record.h"

constexpr char kJournalFileName[] = "setup.jnl";
// Two entries a copied file (its temporary file, then new or kept aside):
// some 8000 files, beyond what one install record lists.
constexpr int kJournalMaxEntries = 16384;
constexpr size_t kJournalMaxBytes = 16384 * 560; // a larger file is not read at all
constexpr size_t kJournalLineMax = 560;          // longest line, its CR LF excluded

enum JournalKind {
    JOURNAL_DIR = 1,
    JOURNAL_NEW,
    JOURNAL_TEMP,
    JOURNAL_ASIDE,
    JOURNAL_RESTART,
    JOURNAL_KEY,
};

struct JournalEntry {
    int kind;                     // JournalKind
    char path[kRecordFieldSize];  // the folder or file; for restart the temporary file
    char other[kRecordFieldSize]; // aside: where the file is kept; restart: the file replaced;
                                  // key: the copy's name
};

struct Journal {
    char folder[kRecordFieldSize];
    int complete; // the installation completed: nothing is to be undone
    int cut;      // the last line was cut and dropped
    int count;
    JournalEntry entries[kJournalMaxEntries];
};

enum JournalRead {
    JOURNAL_OK = 0,
    JOURNAL_TOO_LARGE,  // more than kJournalMaxBytes
    JOURNAL_BAD_HEADER, // not our first line, or no folder line after it
    JOURNAL_BAD_LINE,   // a line too long, of an unknown kind, with a bad field or check
    JOURNAL_TOO_MANY,   // more than kJournalMaxEntries entries
    JOURNAL_AFTER_END,  // a line after "complete"
};

// Reads `length` bytes of journal text into `journal` (emptied first; on any
// damage it is left empty). Reads nothing beyond `length`.
JournalRead ParseJournal(const char *text, size_t length, Journal *journal);

// A few words on a JournalRead, for a log.
const char *JournalReadMeaning(JournalRead result);

// The journal's first line and its folder line, into `out` of `size` bytes,
// and the hash state after them into `*hash`. Returns the length, 0 when
// `folder` is not a complete path or it does not fit.
size_t FormatJournalStart(const char *folder, char *out, size_t size, uint32_t *hash);

// One entry line (`other` only for aside, restart and key; `kind` 0 for the
// complete line), its check taken on from `*hash`, which then covers the
// line. Returns the length, 0 when a field is not a complete path (a key
// with its root, a copy's name) or the
// line does not fit (`*hash` is then unchanged).
size_t FormatJournalEntry(int kind, const char *path, const char *other, char *out, size_t size,
                          uint32_t *hash);

// The FNV-1a hash of `length` more bytes, taken on from `hash` (2166136261
// to start).
uint32_t JournalHash(uint32_t hash, const char *text, size_t length);
