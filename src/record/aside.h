// Files kept aside: an existing file about to be replaced is renamed in its
// own folder (its content, times and attributes untouched, nothing copied)
// and journaled, so that an undo puts it back and a completed installation
// deletes it.
#pragma once

// Finds a name for `destination`'s file kept aside, in its folder and no
// longer than the temporary files' there ("~kvXXXXX.old", or as short as the
// destination's own name in a folder too deep for that), that no file has
// yet. False when none is found.
bool NameAside(const char *destination, char *aside, unsigned long seed);

// A file about to be written in place by other means (a shortcut saved by
// the shell's link object): journaled as new, or kept aside when it exists.
// True at once while no journal is open. False when that cannot be done;
// the file must then not be written.
bool PrepareToWrite(const char *path);

// A file about to be changed in place by a module (a settings file, the
// install record): journaled as new, or, when it exists, copied aside with
// the original left for its writer. True at once while no journal is open;
// false when that cannot be done.
bool PrepareToEdit(const char *path);
