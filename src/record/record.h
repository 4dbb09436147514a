// The install record: what one product's installations created, kept as
// text in the product's folder (uninst.dat) by the registration kit and read
// by the uninstaller. Pure text work, no file system: it is built natively
// for the fuzz targets too.
//
// The text, one item a line, each line ending in CR LF, fields separated by
// one tab (no field holds a tab or any other control character):
//
//   KARVELO-UNINSTALL<TAB>2            (3 when it holds a restart line)
//   product<TAB>Harbour Atlas          the key below ...\Uninstall
//   name<TAB>Harbour Atlas 2.1         what Add/Remove Programs shows
//   version<TAB>2.1                    (may be empty)
//   publisher<TAB>Karvelo              (may be empty)
//   folder<TAB>C:\Program Files\Atlas  the destination
//   file<TAB>size<TAB>time<TAB>path    a file setup installed: its size and its
//                                      last-write time (FILETIME) as installed,
//                                      both in hex
//   dir<TAB>path                       a folder setup made
//   link<TAB>size<TAB>time<TAB>path    a shortcut the module wrote, with its size
//                                      and last-write time as a file's
//   group<TAB>path                     a folder the module made for its shortcuts
//   ini<TAB>file<TAB>section<TAB>key   a setting the module wrote
//   reg<TAB>type<TAB>key<TAB>name<TAB>data
//                                      a registry value the installation created:
//                                      type sz or dword, key HKLM\... or HKCU\...,
//                                      name empty for the default value, data what
//                                      was written (a dword in decimal)
//   regkey<TAB>key                     a registry key the installation created
//   restart<TAB>path                   (version 3) a temporary file that the
//                                      next restart moves over an installed
//                                      file that was in use
//   end<TAB>count<TAB>check            the number of item lines (file ... ini) in
//                                      decimal and the FNV-1a hash (32 bits, hex)
//                                      of every byte before this line
//
// The first line carries version 2, or 3 when the record holds a reg, regkey
// or restart line (a reader of version 2 does not know them); both are read.
// The five header lines come first, in this order, then the items in the
// order they happened, then the end line, and nothing after it. A record that
// breaks any rule (a line cut, a count or check that does not match, bytes
// after the end) is damaged and read as nothing at all. Every path is a
// complete path of at most 259 characters.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "setupdist.h"

constexpr size_t kRecordFieldSize = 260; // every text field, terminator included
// Items one record holds: a file and a folder for each of the most copy
// entries setup takes, and the module's own besides.
constexpr int kRecordMaxItems = 2 * SETUP_MOST_COPY_ENTRIES + 1024;
constexpr size_t kRecordMaxBytes = 48 * 1024 * 1024; // a larger file is not read at all
constexpr size_t kRecordLineMax = 1100;              // longest line, its CR LF excluded
constexpr char kRecordFileName[] = SETUP_RECORD_FILE;
constexpr char kUninstallerName[] = SETUP_UNINSTALLER;

enum RecordKind {
    RECORD_FILE = 1,
    RECORD_DIR,
    RECORD_LINK,
    RECORD_GROUP,
    RECORD_INI,
    RECORD_REG,    // size: REG_SZ or REG_DWORD; path: the key; section: the name; key: the data
    RECORD_REGKEY, // path: the key
    RECORD_RESTART // (version 3) path: the waiting temporary file
};

struct RecordItem {
    int kind;                       // RecordKind
    uint64_t size;                  // files and links: the size as installed
    uint64_t written;               // files and links: the last-write time as installed
    char path[kRecordFieldSize];    // the file, folder or link; for ini the settings file
    char section[kRecordFieldSize]; // ini only
    char key[kRecordFieldSize];     // ini only
};

// The cells of a record's index of its items (a power of two, at least twice
// the items), which keeps adding an item quick however many there are.
constexpr int kRecordIndexSize = 1 << 19;
static_assert(kRecordIndexSize >= 2 * kRecordMaxItems, "the index holds every item");

struct InstallRecord {
    char product[kRecordFieldSize];
    char name[kRecordFieldSize];
    char version[kRecordFieldSize];
    char publisher[kRecordFieldSize];
    char folder[kRecordFieldSize];
    int count;
    RecordItem items[kRecordMaxItems];
    // AddRecordItem's index: item + 1 per cell, 0 when empty. It covers the
    // first `indexed` items; when `count` differs (items were dropped) it is
    // made again. Only AddRecordItem reads or writes it.
    int indexed;
    int index[kRecordIndexSize];
};

enum RecordRead {
    RECORD_OK = 0,
    RECORD_TOO_LARGE,  // more than kRecordMaxBytes
    RECORD_BAD_HEADER, // not our first line, or a header line missing or out of order
    RECORD_BAD_LINE,   // a line too long, without CR LF, of an unknown kind or a bad field
    RECORD_TOO_MANY,   // more than kRecordMaxItems items
    RECORD_NO_END,     // the end line is missing (the file was cut)
    RECORD_BAD_END,    // the count or the check does not match, or bytes follow the end
};

// Reads `length` bytes of record text into `record` (emptied first; on any
// damage it is left empty). Reads nothing beyond `length`.
RecordRead ParseRecord(const char *text, size_t length, InstallRecord *record);

// A few words on a RecordRead, for a message or a log.
const char *RecordReadMeaning(RecordRead result);

// Writes the record's text into `out` of `size` bytes. Returns its length, or
// 0 when it does not fit (or a field cannot be written); `out` is then
// not a record.
size_t FormatRecord(const InstallRecord *record, char *out, size_t size);

// Adds an item, or updates the one already there for the same thing (same
// kind and path, and for ini the same section and key, for reg the same
// name, letters compared without regard to case): a file or link takes the
// new size and time, a reg value its new type and data. A reg or regkey
// path is a key below HKLM\ or HKCU\; a reg item's name and data may be
// empty, its size is its type. Returns false
// when a field is empty, too long or holds a control character, a path is
// not complete, or the record is full.
bool AddRecordItem(InstallRecord *record, int kind, const char *path, uint64_t size,
                   uint64_t written, const char *section = "", const char *key = "");

// Sets a header field (of kRecordFieldSize bytes); false, leaving it empty,
// for text that is too long or holds a control character.
bool SetRecordField(char *field, const char *text);

// The FNV-1a hash of `length` bytes, as the end line carries it.
uint32_t RecordCheck(const char *text, size_t length);

// True for a path a record may name: a drive's or a share's, with no
// component that climbs out (two or more dots alone).
bool IsCompleteRecordPath(const char *path);
