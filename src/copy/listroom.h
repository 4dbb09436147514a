// The copy list's room for a distribution that declares more entries than
// the default: taken once, before the first add, and kept for the run.
#pragma once

// Gives the copy list (and the record of what the copy did) room for `count`
// entries (kCopySlots to kMostCopyEntries). The default needs nothing; false
// when the memory cannot be had (the default room is kept then).
bool TakeCopyRoom(int count);
