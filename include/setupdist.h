/*
 * setupdist.h - the facts of a distribution folder, stated once: the names
 * of the files setup.exe reads beside itself, the keys of its data file, the
 * limits of its lists and of the paths its copy can write. setup.exe, the
 * stock module and the vendor's tool all read them from here. Plain C with
 * no Windows header, so that tools on any system include it too.
 */
#ifndef SETUPDIST_H
#define SETUPDIST_H

/* The data file: [GENERAL] cbTitle, [FILELIST] script lines, the module's own sections. */
#define SETUP_DATA_FILE "kvlsetup.dat"
/* The agreement text, each byte stored complemented. */
#define SETUP_AGREEMENT_FILE "modlic.tx_"
/* The agreement box's buffer: at most SETUP_AGREEMENT_SIZE - 1 bytes are shown. */
#define SETUP_AGREEMENT_SIZE 16000
/* The module setup.exe loads when its command line names none. */
#define SETUP_DEFAULT_MODULE "defsetup"

/* The key of item n of a list section (cbItem00, ..., cbItem99, cbItem100). */
#define SETUP_ITEM_KEY "cbItem%02d"
/* A list value is read into a buffer of this size: longer ones are cut to 259. */
#define SETUP_LIST_TEXT_SIZE 260
/* The copy list's slots: setup.exe installs at most this many files, unless
   the data file's [GENERAL] declares more with SETUP_COPY_ENTRIES_KEY=N (a
   whole number; setup takes room for N entries once at start-up and refuses
   to start for a value that is not a number or above
   SETUP_MOST_COPY_ENTRIES). */
#define SETUP_COPY_SLOTS 128
#define SETUP_COPY_ENTRIES_KEY "cbCopyEntries"
#define SETUP_MOST_COPY_ENTRIES 65536
/* [GENERAL] SETUP_FAST_COPY_KEY=1: the copy window copies as fast as the
   disk allows (many entries a step, a large file in pieces, the bar showing
   the share of bytes) instead of one entry a step at a pace a person can
   follow. */
#define SETUP_FAST_COPY_KEY "cbFastCopy"
/* The version-resource value of setup.exe that states how many copy entries
   it can take; an engine without it takes SETUP_COPY_SLOTS. */
#define SETUP_ENGINE_ENTRIES_VALUE "CopyEntriesLimit"

/* The default destination: <ProgramFilesDir>\KarveloEngine. */
#define SETUP_PROGRAM_FILES "Program Files"
#define SETUP_PROGRAM_FILES_X86                                                                    \
    "Program Files (x86)" /* what a 32-bit setup sees on 64-bit Windows */
#define SETUP_PRODUCT_FOLDER "KarveloEngine"
/* The demonstration's document is below this folder of the destination. */
#define SETUP_DEMO_FOLDER "Demos"

/* The uninstaller a registered product carries, and its record. */
#define SETUP_UNINSTALLER "uninst.exe"
#define SETUP_RECORD_FILE "uninst.dat"

/* The stock module's [STORED] section: files the distribution folder holds
   under a name of their own, each installed with a copy request.
       cbItemNN=stored name|installed path below the destination|replace
   The stored name is a plain name in the source folder; the installed path
   is names joined by backslashes (blanks allowed); replace is 1 to replace
   an existing file without asking, 0 or empty to put it to FileConflict. */
#define SETUP_STORED_SECTION "STORED"

/* The copy's paths. A destination path takes at most SETUP_PATH_LIMIT
   characters (the platform's MAX_PATH with its terminator), and the folder it
   goes into at most SETUP_FOLDER_LIMIT: the platform makes no folder whose
   path leaves less room than an 8.3 name (MAX_PATH - 12, terminator included).
   The copy writes a temporary file beside the destination first; its name,
   "\kvlXXXX.tmp", takes SETUP_TEMP_NAME_ROOM characters with the terminator,
   and in a folder too deep for that the temporary takes a name as short as
   the destination's own. */
#define SETUP_PATH_LIMIT 259
#define SETUP_FOLDER_LIMIT 247
#define SETUP_TEMP_NAME_ROOM 13

#endif /* SETUPDIST_H */
