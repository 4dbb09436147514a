// Shortcut (.lnk) files written through the platform's shell link object.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include "setupmodule.h"

enum class TargetMode { Path, ItemIdList };

// Writes the link a module asked for. The request is read within its fields:
// a text without its terminator, or a link or target path that does not fit
// 260 characters, writes nothing. Always returns 1: the module cannot tell
// whether the link was written.
int HandleShortcutRequest(const ShortcutRequest *request);

// Writes one link file at `linkPath`. `target` is a path (TargetMode::Path)
// or an ITEMIDLIST (TargetMode::ItemIdList); null `arguments` sets none.
// Returns S_OK when the file was written, else the failing call's HRESULT.
HRESULT CreateShortcutFile(const void *target, TargetMode mode, const char *arguments,
                           const char *linkPath, const char *description);
