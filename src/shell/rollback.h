// The installation as one whole: its journal is started before the first
// file lands, an earlier run's unfinished one is undone first, and at the end
// the installation is either completed (what was kept aside goes) or undone.
#pragma once

// An earlier setup into the destination did not finish (killed, a power
// loss): what it did is undone before this one goes on; interactively the
// user is told in a box, silently the log says so.
void SettleEarlierInstallation();

// Starts the journal in the destination, which exists now, with the folders
// made for it so far; later changes are journaled as they come.
void StartInstallationJournal();

// The installation is complete (after the module's last hook, the record
// written): the files kept aside go and the journal with them. Files in use
// that a restart replaces are told to the user once (silently, logged).
void CompleteInstallation();

// At the very end, the module released: an installation that did not
// complete is undone, newest change first, and the log lists what was.
void UndoUnfinishedInstallation();
