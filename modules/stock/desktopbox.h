// The stock module's offer of a desktop shortcut, after the agreement: one
// checkbox the user may clear.
#pragma once

#include <windows.h>

// Shows the offer for the shortcut `linkName`, owned by `owner`, the box
// checked or not as `checked` says; returns whether it was left checked.
bool AskDesktop(HWND owner, const char *caption, const char *linkName, bool checked);
