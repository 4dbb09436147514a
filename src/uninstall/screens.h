// What the uninstaller shows: the question, the progress, the summary.
#pragma once

#include <windows.h>

#include "uninstall/removal.h"

// "Remove <product> and all of its components?" Yes or No; true for Yes.
bool AskToRemove(const char *product, const char *caption);

// A small window with the item being removed and a bar, shown while the
// removal runs; nullptr when it cannot be made (the removal goes on without).
HWND OpenProgress(HINSTANCE instance, const char *caption);
void CloseProgress(HWND window);

// A RemovalProgress: moves the bar and lets the window paint.
void ShowProgress(void *window, int done, int total, const char *path);

// The closing words in `text` of `size` bytes: removed, or which files were
// kept because they changed since installation and which are removed at the
// next restart (the list cut after a screenful, with how many more).
void WriteSummary(const Removal *removal, const char *product, char *text, size_t size);
