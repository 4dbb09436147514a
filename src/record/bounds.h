// Where a record's items may lie. The folder a product is installed into may
// be writable by every user, and so may its record: whatever a record names,
// the uninstaller touches only what an installation of that folder can have
// made. Pure text work: the places are looked up by the caller.
#pragma once

#include "record/record.h"

// The folders outside the product's that its items may reach; an empty one
// is not known and matches nothing.
struct RecordPlaces {
    char windows[kRecordFieldSize];      // the Windows folder: settings files directly in it
    char shortcuts[4][kRecordFieldSize]; // the Start Menus and desktops, everyone's and own
};

// True when `path` is below `folder` (or is it, with `orSame`), both
// compared as NormaliseFullPath makes them; false when either cannot be.
bool FullPathWithin(const char *path, const char *folder, bool orSame);

// True when `item` lies where an installation into `folder` may have put it:
//   file  below the folder, and so a restart's temporary file;
//   dir   the folder or below it;
//   link  a .lnk file below a Start Menu or desktop;
//   group a folder below a Start Menu or desktop;
//   ini   a settings file below the folder or directly in the Windows folder;
//   reg, regkey  a key below HKLM\Software or HKCU\Software, not below
//         Microsoft, Policies or Wow6432Node; below Classes only a file
//         association's (.ext, Vendor.Type and its DefaultIcon,
//         shell\open\command).
// Both sides are compared as NormaliseFullPath makes them.
bool ItemWithinBounds(const RecordItem &item, const char *folder, const RecordPlaces &places);

// True when a settings file emptied by the removal may go with its keys: one
// below the folder, which the installation made; never one in the Windows
// folder, which may have been there before.
bool SettingsFileIsOwn(const char *file, const char *folder);
