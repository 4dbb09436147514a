// The disk space an installation needs, volume by volume, against what each
// volume has free: asked once the copy list is complete and before anything
// is copied, so that a full disk is found before the first file and not
// halfway through the copy.
//
// What a file needs is its whole installed size (the expanded size from an
// LZ file's header, a plain file's own), rounded up to the volume's
// allocation unit: the copy writes it in full into a temporary file beside
// its destination, and a file it replaces keeps its old bytes on the volume
// until the installation is complete. An existing file that stays takes
// nothing.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "util/paths.h"

struct SpaceQuery;

// Destination volumes one check tells apart: a drive letter each, and a few shares.
constexpr int kSpaceVolumes = 32;
// An allocation unit above this is not believed (an emulated volume may
// report anything): the need is then counted in bytes.
constexpr uint32_t kLargestCluster = 64 * 1024;

struct VolumeSpace {
    char root[kPathSize]; // "C:\" or "\\server\share\"
    uint64_t needed;      // bytes the files to install need on it
    uint64_t free;        // bytes free on it for this user
    uint32_t cluster;     // its allocation unit; 0 when unknown
    int freeKnown;        // free was read
};

struct SpaceTable {
    VolumeSpace volumes[kSpaceVolumes];
    int count;
    int unplaced; // files whose volume did not fit the table or has no root: not checked
};

// ---- arithmetic (no file system access) -----------------------------------

// The root of the volume a complete path lies on: "C:\" for C:\x\y (the
// drive letter a capital), "\\server\share\" for a share. False, with an
// empty `root`, for a path that names no volume (relative, "\\server" alone)
// or a root that does not fit `size`.
bool VolumeRoot(char *root, size_t size, const char *path);

// `bytes` rounded up to whole units of `cluster` (0 or beyond
// kLargestCluster: as they are), never wrapping: a sum too large for 64 bits
// stays at the largest value.
uint64_t RoundToCluster(uint64_t bytes, uint32_t cluster);

// a + b, at most the largest 64-bit value.
uint64_t AddSaturating(uint64_t a, uint64_t b);

// The table's entry for the volume of `path` (the same root in another case
// is the same volume), added with nothing needed when it is new. Null when
// the path names no volume or the table is full.
VolumeSpace *VolumeOf(SpaceTable *table, const char *path);

// The first volume whose free space is known and smaller than its need; null
// when every volume has room.
const VolumeSpace *FirstShortVolume(const SpaceTable *table);

// `bytes` in decimal digits, with a comma between thousands ("1,048,576").
void FormatBytes(char *text, size_t size, uint64_t bytes);

// `bytes` as a person reads it: "512 bytes", "12.4 KB", "3.0 MB", "1.2 GB",
// one decimal, rounded up when `roundUp` (a need), down otherwise (what is free).
void FormatSize(char *text, size_t size, uint64_t bytes, bool roundUp);

// The box's text for a volume too small: its root, what is needed, what is
// free, and what Retry and Cancel do. False when it does not fit `size`.
bool BuildNoSpaceText(char *text, size_t size, const VolumeSpace *volume);

// ---- the copy list and the volumes ----------------------------------------

// The size `source` installs at: the expanded size an LZ file's header
// declares, a plain file's own size; the compressed twin (README.TX_ for
// README.TXT) when the source itself is missing, as the copy takes it.
// False when neither can be read.
bool InstalledSize(const char *source, uint64_t *size);

// Fills `table` from the copy list: each entry in use that the copy will
// write (its destination is missing, or the entry replaces it) needs its
// installed size on its destination's volume, which is the folder's for a
// module's entry with complete paths and the Windows folder's for an entry
// bound there. Each volume's allocation unit and free space are read.
void CountCopyNeeds(SpaceTable *table);

// What installing the data file's files into `folder` needs on the folder's
// own volume, and what it has free: `folder` takes the destination's place
// for the count. Before the begin step has listed the files it lists them
// from the data file, once (the begin step empties the list before it lists
// them itself); once listed it counts the list as it stands. False when `folder` names no volume or
// its free space cannot be read.
bool SpaceForFolder(const char *folder, VolumeSpace *volume);

// SM_GETSPACE: SpaceForFolder for the query's folder, read within its field,
// its answer written no further than the record. Returns 1, or 0 for a
// record too small, a folder without its terminator or naming no complete
// path, or a volume whose free space cannot be read.
int AnswerSpaceQuery(SpaceQuery *query);
