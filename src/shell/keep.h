// What a module keeps for the undo beside the copy (SM_KEEPFORUNDO): a file
// goes into the journal as a copied file does, a folder about to be made as
// one the copy makes; a registry key's values are copied aside and
// journaled (record/keptkey.h), so that the undo of this run, or after a
// kill the next setup's or the uninstaller's, puts them back.
#pragma once

#include "setupmodule.h"

// SM_KEEPFORUNDO: 1 when the item will be taken back, 0 when it cannot be
// (no installation under way, a record or path not whole, a key too large
// to hold). Reads `item` only within its fields.
int KeepForUndo(const UndoItem *item);
