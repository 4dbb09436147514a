// How a program of ours gets its system libraries: from the system folder
// only, the libraries beyond kernel32 and msvcrt bound on their first call
// (lateload.cpp, with the import libraries of cmake/make-late-import-lib.sh).
#pragma once

// Load no library from the program's folder or the current one: a
// distribution folder or the temporary folder is anybody's to fill, and a DLL
// left there under a system name would run inside the program. Where the
// system lacks SetDefaultDllDirectories, at least the current folder goes.
// Call it first thing.
void RestrictDllSearch();

// The theme library that draws dialogs binds msimg32 only when it first
// paints, and under Wine that late binding searches the program's folder
// despite the restriction above. Bound now, by full path from the system
// folder, it is found already loaded when the theme asks for it.
void BindDialogLibraries();

// Each program defines it: a system library or function that cannot be had
// leaves nothing to run, so it ends the process with the program's own
// exit code for that.
[[noreturn]] void LateBindingFailed();
