// File lists: INI files in the source folder whose [FILELIST] section names
// the files to install, one line per key cbItem00, cbItem01, and so on. The
// setup data file holds script lines (pattern, replacement character,
// sub-folder, four flags); a module's list holds plain file names. Both turn
// their lines into copy-list entries.
#pragma once

#include <stddef.h>

#include "setupdist.h"

constexpr size_t kFileListTextSize = SETUP_LIST_TEXT_SIZE; // a profile read cuts longer values

struct FileListLine {
    char pattern[kFileListTextSize]; // source name or wildcard pattern in the source folder
    char lastChar;                   // replaces the last character of each match; NUL cuts it off
    char subFolder[kFileListTextSize];
    int toWindowsFolder;
    int spareFlag1;
    int overwrite;
    int spareFlag2;
};

// Reads the script lines of `dataFileName` in the source folder, from
// cbItem00 up to the first key that yields no text, and adds the files each
// line matches to the copy list. A line that does not parse adds nothing and
// the next key is still read. A pattern that matches no file adds nothing.
void ReadSetupFileList(const char *dataFileName);

// Parses one script line into `line` after removing its blanks. Returns 1
// when the line is accepted, 0 when a separator is missing, the line is
// longer than 259 characters, the sub-folder would leave the destination
// (absolute, drive, share or a component of dots), or the replacement
// character is a wildcard, separator, colon or control character; `line` is
// left unchanged then.
int ParseFileListLine(const char *text, FileListLine *line);

// Removes every blank (character 32) from `text` in place; tabs stay.
void RemoveBlanks(char *text);

// Destination name of a found file: `found` with its last character replaced
// by `lastChar`, or cut off when `lastChar` is NUL. Returns false, with an
// empty `dest`, when `found` does not fit `size`.
bool ReplaceLastChar(char *dest, size_t size, const char *found, char lastChar);

// Sub-folder of a file named by a module list: "Tables" when the text after
// the last '.' is exactly "kvt", else "Resources" (also for a name with no '.').
// Returns a constant text.
const char *ModuleListSubFolder(const char *name);

// Adds a copy entry for every file in the source folder that matches the
// line's pattern, in the order the directory search returns them. A match
// that is already listed, or finds the list full, is left out; the others
// still go in. A pattern without a wildcard that finds no file, or that is a
// device's name, goes in as named and set to replace: its copy then fails.
void ExpandFileListLine(const FileListLine *line);

// Adds the files named by the module's list `listName` (in the source folder)
// to the copy list. Returns 1 when every listed file was found with a size
// above 0, also when the list itself is missing; 0 when any was missing,
// empty or not a plain file name (the others are still added), and 0 for a null name or one without
// a terminator within 260 characters (nothing is read past them).
int AddModuleFileList(const char *listName);
