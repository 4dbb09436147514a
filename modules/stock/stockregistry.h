// The stock module's registry settings: [REGISTRY] values and [ASSOC] file
// types, written after the [INI] settings, and what of them the installation
// created, for the record (so that the removal takes back that and no more).
#pragma once

#include <windows.h>

#include "settings.h"
#include "setupkit.h"

// Writes every usable [REGISTRY] and [ASSOC] item. `id` (cbId, may be "")
// and `destDir` find an earlier installation's record: a value it recorded
// is recorded again although it exists.
void WriteRegistrySettings(HWND mainWindow, const stock::StockReader &reader, const char *destDir,
                           const char *id, bool machineTypes);

// Points `info`'s registry fields at what WriteRegistrySettings created.
void GatherRegistry(ProductInfo *info);
