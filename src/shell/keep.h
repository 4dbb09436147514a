// What a module keeps for the undo beside the copy (SM_KEEPFORUNDO): a file
// goes into the journal as a copied file does; a registry key's values are
// held in memory by this run, and put back when the installation is undone.
#pragma once

#include "setupmodule.h"

// SM_KEEPFORUNDO: 1 when the item will be taken back, 0 when it cannot be
// (no installation under way, a record or path not whole, a key too large
// to hold). Reads `item` only within its fields.
int KeepForUndo(const UndoItem *item);

// Puts every kept key back as it was, newest first, and forgets them.
void RestoreKeptKeys();

// Forgets the kept keys: the installation is complete.
void ForgetKeptKeys();
