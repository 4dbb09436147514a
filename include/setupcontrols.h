/* The control ids, captions and texts of setup.exe's dialogs, stated once:
 * the resource script (src/res/dialogs.rc), the shell, kvlship try and the
 * end-to-end test harness (which reads these #define lines) all take them
 * from here. Plain macros, so that the resource compiler reads them too. */
#ifndef SETUPCONTROLS_H
#define SETUPCONTROLS_H

/* Captions: the presentation and status dialogs, and the message boxes. */
#define SETUP_DIALOG_CAPTION "KARVELO SETUP"
#define SETUP_BOX_CAPTION "KARVELO Setup"

/* DLG_PRESENT, the presentation dialog with the agreement. */
#define IDC_AGREE 1172
#define IDC_EXIT 1174
#define IDC_BANNER 1006
#define IDC_AGREEMENT 1011

/* DLG_PREPARING and DLG_CREATINGSHTCUTS: one static control, one text. */
#define IDC_STATUS 1057
#define SETUP_PREPARING_TEXT "\nPreparing Karvelo files..."
#define SETUP_SHORTCUTS_TEXT "\nCreating Shortcuts..."

/* DLG_COPYING, kept for modules that want the setup's look. */
#define IDC_DONE_LABEL 1000
#define IDC_PERCENT 1186
#define IDC_GREY_BAR 1006

/* DLG_MSGBOXONEBUT and DLG_MSGBOXTWOBUT, likewise. */
#define IDC_BOX_MESSAGE 1057
#define IDC_BOX_QUESTION 1060
#define IDC_BOX_FIRST 1058
#define IDC_BOX_SECOND 1059

/* The main window's caption, which the shell's own boxes may carry too. */
#define SETUP_MAIN_CAPTION "KARVELO - Setup"

#endif
