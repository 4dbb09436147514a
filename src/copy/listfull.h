// The one message the lists show themselves: a table has no free slot.
// Kept apart from the tables so that they need nothing from the platform.
#pragma once

// Tells the user that a list is full: a message box with no owner window, a
// single OK button and no icon. Returns when the user has closed it.
void TellListFull(const char *text, const char *caption);
