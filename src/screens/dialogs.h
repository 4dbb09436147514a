// The presentation dialog and the two status dialogs. All three are modal,
// owned by the main window, and run on the shell's one thread.
#pragma once

#include <windows.h>

#include "setupcontrols.h"
#include "setupdist.h"

// Control ids of DLG_PRESENT.
constexpr int kAgreeButton = IDC_AGREE;
constexpr int kExitButton = IDC_EXIT;
constexpr int kBannerText = IDC_BANNER;
constexpr int kAgreementText = IDC_AGREEMENT;

constexpr int kStatusTicks = 72; // display time of a status dialog, about four seconds
constexpr char kAgreementFile[] = SETUP_AGREEMENT_FILE;
constexpr DWORD kAgreementSize = SETUP_AGREEMENT_SIZE;

// Fills `edit` with the agreement text of `path`, whose bytes are stored
// complemented; the text ends at the first byte that becomes zero, and at
// most kAgreementSize - 1 bytes are read so that it always ends.
// Returns 1 when the file could be opened and memory had, -1 otherwise (the
// box then stays empty).
int LoadAgreementText(HWND edit, const char *path);

// Formats the welcome banner for `title` into `dest` (1024 bytes).
void FormatBanner(char *dest, const char *title);

extern "C" {
// DLG_PRESENT: ends with 1 when the user agrees, 0 when the user leaves.
__declspec(dllexport) INT_PTR CALLBACK
    PresDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// DLG_PREPARING: ends with 1 after kStatusTicks.
__declspec(dllexport) INT_PTR CALLBACK
    PreparingDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// DLG_CREATINGSHTCUTS: calls the module's CreateShortcuts while it opens; ends
// with 0 when the hook refused, else with 1 after kStatusTicks.
__declspec(dllexport) INT_PTR CALLBACK
    CreatingShtCutsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
}
