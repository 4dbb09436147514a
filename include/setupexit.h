/*
 * setupexit.h - how setup.exe runs and how it ends: the answer of
 * SM_GETSETUPMODE and the process's exit codes; and the exit codes of the
 * uninstaller (uninst.exe) a registered product carries. Plain C with no Windows
 * header, so that tools on any system (a deployment script's helper, the
 * vendor's tool) read the same numbers; setupmodule.h includes it.
 */
#ifndef SETUPEXIT_H
#define SETUPEXIT_H

/* The answer of SM_GETSETUPMODE. */
/* /SILENT: no agreement, presentation or question; only the copy's progress */
#define SETUP_MODE_SILENT 0x1
/* /VERYSILENT: no window at all */
#define SETUP_MODE_VERYSILENT 0x2
/* /DIR=: destDir as SetDestDir receives it is the caller's choice: keep it */
#define SETUP_MODE_DIR_CHOSEN 0x4
/* /LOG=: SM_WRITELOG is heard */
#define SETUP_MODE_LOGGING 0x8
/* /NODESKTOP and /DESKTOP: the caller's answer to an offered desktop
   shortcut (the stock module's [DESKTOP]): leave it out, or make it. Setup
   itself makes no shortcut; a module that offers none ignores both. */
#define SETUP_MODE_NO_DESKTOP 0x10
#define SETUP_MODE_DESKTOP 0x20

/* ------------------------------------------------------------------------
 * setup.exe's exit codes: what a script or a deployment system reads. The
 * first end wins: a file that failed, then a module that ends the setup,
 * gives SETUP_EXIT_FILE_FAILED.
 * ---------------------------------------------------------------------- */
/* every file installed, every step done */
#define SETUP_EXIT_COMPLETE 0
/* the user left at the agreement (Exit), or at a dialog of the module's
   before anything was copied (SM_EXIT with this code: the stock module's
   folder dialog, Cancel) */
#define SETUP_EXIT_DECLINED 1
/* the module ended the setup: a hook answered 0, SM_EXIT, FC_ABORT */
#define SETUP_EXIT_MODULE 2
/* the user cancelled the copy and the module agreed */
#define SETUP_EXIT_CANCELLED 3
/* a file could not be installed: the installation is partial, whatever followed */
#define SETUP_EXIT_FILE_FAILED 4
/* setup could not start or go on: no module, the product's engine runs, a
   system library or window could not be had. A single-file package ends
   with it too when it is damaged (a download changed or cut short: nothing
   was expanded) or its files cannot be expanded; otherwise it hands on
   setup.exe's own code. */
#define SETUP_EXIT_CANNOT_RUN 5
/* the sender replied with a failure */
#define SETUP_EXIT_SENDER 6
/* the main window was closed from outside (WM_CLOSE, the end of the session) */
#define SETUP_EXIT_CLOSED 7
/* an unknown switch or a malformed value on the command line: nothing installed */
#define SETUP_EXIT_BAD_SWITCH 8
/* a destination volume has less free space than the files to install need
   (the Cancel of the box that says so, or silently): nothing was copied */
#define SETUP_EXIT_NO_SPACE 9
/* complete after a restart: files in use are replaced when Windows starts
   again (the system's own code for it, as deployment tools read it). Setup
   never restarts the machine itself (/NORESTART is accepted and changes
   nothing). */
#define SETUP_EXIT_RESTART 3010

/* What an exit code means, in a few words (for a log or a report). */
static inline const char *SetupExitMeaning(int code)
{
    switch (code) {
    case SETUP_EXIT_COMPLETE:
        return "the installation is complete";
    case SETUP_EXIT_DECLINED:
        return "the user left at the agreement";
    case SETUP_EXIT_MODULE:
        return "the module ended the setup";
    case SETUP_EXIT_CANCELLED:
        return "the user cancelled the copy";
    case SETUP_EXIT_FILE_FAILED:
        return "a file could not be installed: the installation is partial";
    case SETUP_EXIT_CANNOT_RUN:
        return "setup could not run";
    case SETUP_EXIT_SENDER:
        return "the module's sender failed";
    case SETUP_EXIT_CLOSED:
        return "setup was closed from outside";
    case SETUP_EXIT_BAD_SWITCH:
        return "the command line is wrong; nothing was installed";
    case SETUP_EXIT_NO_SPACE:
        return "not enough free disk space; nothing was copied";
    case SETUP_EXIT_RESTART:
        return "complete after a restart: files in use are replaced then";
    default:
        return "not an exit code of setup.exe";
    }
}

/* ------------------------------------------------------------------------
 * uninst.exe's exit codes. The program in the product's folder hands on the
 * code of the temporary copy that does the work.
 * ---------------------------------------------------------------------- */
/* everything the installations created is gone, but for files the user changed
   since (kept on purpose, listed in the log and the summary) */
#define UNINSTALL_EXIT_REMOVED 0
/* the user answered No: nothing removed */
#define UNINSTALL_EXIT_DECLINED 1
/* something the installations created could not be removed and stays: a
   file, the record or the product's key (no right to it, say) */
#define UNINSTALL_EXIT_PARTLY 2
/* the install record is missing, damaged or not to be trusted (not the one
   setup wrote for this folder and product, or naming what an installation
   cannot have made): nothing removed */
#define UNINSTALL_EXIT_NO_RECORD 3
/* an unknown switch or a malformed value on the command line: nothing removed */
#define UNINSTALL_EXIT_BAD_SWITCH 4
/* the uninstaller could not run: its temporary copy, a system library */
#define UNINSTALL_EXIT_CANNOT_RUN 5
/* removed, but files in use go only at the next restart (the system's own
   code for a success that needs a restart, as deployment tools read it) */
#define UNINSTALL_EXIT_RESTART 3010

/* What an exit code of uninst.exe means, in a few words. */
static inline const char *UninstallExitMeaning(int code)
{
    switch (code) {
    case UNINSTALL_EXIT_REMOVED:
        return "the product was removed";
    case UNINSTALL_EXIT_DECLINED:
        return "the user chose to keep the product";
    case UNINSTALL_EXIT_PARTLY:
        return "removed, but some of the product's files could not be";
    case UNINSTALL_EXIT_NO_RECORD:
        return "the install record is missing, damaged or not to be trusted; nothing was "
               "removed";
    case UNINSTALL_EXIT_BAD_SWITCH:
        return "the command line is wrong; nothing was removed";
    case UNINSTALL_EXIT_CANNOT_RUN:
        return "the uninstaller could not run";
    case UNINSTALL_EXIT_RESTART:
        return "removed; files in use go at the next restart";
    default:
        return "not an exit code of uninst.exe";
    }
}

#endif /* SETUPEXIT_H */
