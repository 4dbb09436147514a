// Window lists as winlist writes them during a trial, one line a window:
// setup.exe is process 7, its demonstration process 9.
#pragma once

// The presentation with I Agree and Exit.
constexpr char kPresentation[] =
    R"({"hwnd": "0x100", "top": "0x100", "depth": 0, "class": "#32770", "text": "KARVELO SETUP", "visible": 1, "pid": 7})"
    "\n"
    R"({"hwnd": "0x101", "top": "0x100", "depth": 1, "class": "Button", "text": "I &Agree", "id": 1172, "style": 1, "visible": 1, "pid": 7})"
    "\n"
    R"({"hwnd": "0x102", "top": "0x100", "depth": 1, "class": "Button", "text": "E&xit", "id": 1174, "visible": 1, "pid": 7})"
    "\n";

constexpr char kPreparing[] =
    R"({"hwnd": "0x200", "top": "0x200", "depth": 0, "class": "#32770", "text": "KARVELO SETUP", "visible": 1, "pid": 7})"
    "\n"
    R"({"hwnd": "0x201", "top": "0x200", "depth": 1, "class": "Static", "text": "\nPreparing Karvelo files...", "id": 1057, "visible": 1, "pid": 7})"
    "\n";

constexpr char kCopying[] =
    R"({"hwnd": "0x300", "top": "0x300", "depth": 0, "class": "COPYINGWND", "text": "", "visible": 1, "pid": 7})"
    "\n";

constexpr char kShortcuts[] =
    R"({"hwnd": "0x400", "top": "0x400", "depth": 0, "class": "#32770", "text": "KARVELO SETUP", "visible": 1, "pid": 7})"
    "\n"
    R"({"hwnd": "0x401", "top": "0x400", "depth": 1, "class": "Static", "text": "\nCreating Shortcuts...", "id": 1057, "visible": 1, "pid": 7})"
    "\n";

// The demonstration's main window: a dialog no window owns.
constexpr char kDemoWindow[] =
    R"({"hwnd": "0x500", "top": "0x500", "owner": "0x0", "depth": 0, "class": "#32770", "text": "Harbour Atlas", "visible": 1, "pid": 9})"
    "\n";

// The module's question: Yes and No, neither styled the default.
constexpr char kQuestion[] =
    R"({"hwnd": "0x600", "top": "0x600", "owner": "0x1", "depth": 0, "class": "#32770", "text": "Harbour Atlas", "visible": 1, "pid": 7})"
    "\n"
    R"({"hwnd": "0x601", "top": "0x600", "depth": 1, "class": "Static", "text": "Replace ATLAS.DAT?", "id": 65535, "visible": 1, "pid": 7})"
    "\n"
    R"({"hwnd": "0x602", "top": "0x600", "depth": 1, "class": "Button", "text": "&Yes", "id": 6, "visible": 1, "pid": 7})"
    "\n"
    R"({"hwnd": "0x603", "top": "0x600", "depth": 1, "class": "Button", "text": "&No", "id": 7, "visible": 1, "pid": 7})"
    "\n";

// The shell's own error box under the main window's caption: it ends the setup.
constexpr char kShellError[] =
    R"({"hwnd": "0x700", "top": "0x700", "owner": "0x1", "depth": 0, "class": "#32770", "text": "KARVELO - Setup", "visible": 1, "pid": 7})"
    "\n"
    R"({"hwnd": "0x701", "top": "0x700", "depth": 1, "class": "Static", "text": "No more copy-list place", "id": 65535, "visible": 1, "pid": 7})"
    "\n"
    R"({"hwnd": "0x702", "top": "0x700", "depth": 1, "class": "Button", "text": "OK", "id": 1, "visible": 1, "pid": 7})"
    "\n";

// A box of the demonstration, owned by its main window.
constexpr char kDemoBox[] =
    R"({"hwnd": "0x800", "top": "0x800", "owner": "0x500", "depth": 0, "class": "#32770", "text": "Harbour Atlas", "visible": 1, "pid": 9})"
    "\n"
    R"({"hwnd": "0x801", "top": "0x800", "depth": 1, "class": "Static", "text": "Chart missing", "id": 65535, "visible": 1, "pid": 9})"
    "\n"
    R"({"hwnd": "0x802", "top": "0x800", "depth": 1, "class": "Button", "text": "OK", "id": 1, "visible": 1, "pid": 9})"
    "\n";

// A dialog still without its buttons.
constexpr char kBare[] =
    R"({"hwnd": "0x900", "top": "0x900", "owner": "0x1", "depth": 0, "class": "#32770", "text": "Wait", "visible": 1, "pid": 7})"
    "\n";

// DM_GETDEFID's answers: DC_HASDEFID with No (7), and with IDOK (1).
constexpr char kDefaultNo[] = R"({"result": 1397424135})";
constexpr char kDefaultOk[] = R"({"result": 1397424129})";
