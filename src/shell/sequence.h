// The installation sequence: the steps the main window walks through its
// private messages, from the begin step to the demonstration launch.
#pragma once

#include <windows.h>

#include "setupdist.h"

constexpr char kProgramFilesKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
constexpr char kProgramFilesValue[] = "ProgramFilesDir";
constexpr char kProductFolder[] = SETUP_PRODUCT_FOLDER;
constexpr char kDemoFolder[] = SETUP_DEMO_FOLDER;
constexpr int kTicksAfterSender = 8;
constexpr int kTicksToFinish = 32;

// SM_BEGINSETUP: presentation, destination, lists, conflicts, folders, and
// the copy window. Runs once per setup; a second request is ignored.
void BeginSetup();

// SM_COPYDONE: what follows the copy, up to scheduling the finish step.
void CopyResult(LPARAM lParam);

// SM_FINISHSETUP: EndSetup, the demonstration, and the close.
void FinishSetup();

// SM_STARTSENDER and SM_SENDERREPLY: the handshake with the module's sender window.
void StartSender();
void SenderReply(LPARAM lParam);

// SM_REPAINT: repaints the whole main window before returning.
void RepaintNow();

// Notes how the setup ends: the first code noted is the process's exit code
// (SETUP_EXIT_... of setupmodule.h); later ones change nothing.
void RecordExitCode(int code);

// Ends the setup with `code` (unless an earlier end named one): destroys the
// main window, which ends the process.
void EndInstallation(int code);

// The text that tells the user a file failed: its path, the system's reason,
// and that the setup goes on. Returns false when it does not fit `size`.
bool BuildFailureText(char *text, size_t size, const char *path, const char *reason);

// The default destination when the registry names no program folder:
// "<drive of windowsDir>\Program Files\KarveloEngine". Returns false when it does not fit.
bool DefaultDestination(char *dest, size_t size, const char *windowsDir);

// Builds the demonstration's command line into `command` (260 bytes): the
// program below destDir (quoted when it holds a blank), a blank, and the
// document below destDir\Demos (as it stands, unquoted); the program alone
// when `document` is empty. Returns false when any part does not fit;
// nothing is then started.
bool BuildDemoCommand(char *command, size_t size, const char *destDir, const char *program,
                      const char *document);
