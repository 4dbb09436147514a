// What the system keeps about an installation beside its record, where only
// administrators write: the digest of the record the installation wrote, and
// the product's Add/Remove Programs key. The registration kit writes both;
// the uninstaller trusts a record only when they vouch for it. Also where the
// places outside the product's folder are (RecordPlaces).
#pragma once

#include "record/bounds.h"

// HKLM\<kUninstallKey><id>: the product's Add/Remove Programs entry.
constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
// HKLM\<kRecordDigestKey><id>: one value for each folder the product is
// installed in (its name the folder as NormaliseFullPath makes it), holding
// the SHA-256 of that folder's record in hex.
constexpr char kRecordDigestKey[] = "Software\\Karvelo\\Install records\\";

// Keeps `digest` as the record of `id` in `folder`; false when it cannot.
bool RememberRecord(const char *id, const char *folder, const char *digest);

// True when `digest` is the one kept for `id` in `folder`.
bool RecordIsRemembered(const char *id, const char *folder, const char *digest);

// Drops what is kept for `id` in `folder` (and the product's key of digests
// once it holds none).
void ForgetRecord(const char *id, const char *folder);

// True when the Add/Remove Programs key of `id` exists and its
// InstallLocation is `folder` (both normalised).
bool UninstallKeyIsFolders(const char *id, const char *folder);

// The Windows folder, the Start Menus and the desktops, as this user sees them.
void FindRecordPlaces(RecordPlaces *places);
