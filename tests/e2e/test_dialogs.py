"""The shell's own dialogs end to end: the presentation dialog (banner,
agreement text, its place, its keys and buttons as a person uses them), the
two status dialogs and when they come and go, and a repaint of the main
window while the copy window is up.

Times are measured from outside by a watcher that lists the windows about
every 0.15 s; the limits are generous (a status dialog stays 72 ticks, about
4 s), since a loaded machine slows Wine down but never speeds it up. Those
scenarios are marked `timing`: CTest runs them with nothing beside them."""

import json
import subprocess
import threading
import time

import pytest

from harness import (AGREE_BUTTON, CONTROLS, EXIT_BUTTON, MAIN_CLASS, PRESENT_CAPTION, PREPARING,
                     SC_SCREENSAVE, SHORTCUTS, WM_COMMAND, WM_SYSCOMMAND, Window, WindowList,
                     windows_path)

BANNER = CONTROLS["IDC_BANNER"]
AGREEMENT = CONTROLS["IDC_AGREEMENT"]
DM_GETDEFID = 0x0400
DC_HASDEFID = 0x534B
WM_GETTEXTLENGTH = 0x000E
SM_REPAINT = 1209
STATUS_SECONDS = (2.5, 8.0)  # 72 ticks of 55 ms, about 4 s


# ---------------------------------------------------------------------------
# Helpers


def complemented(data):
    """An agreement file's bytes: each byte of the text stored as its complement."""
    return bytes(b ^ 0xFF for b in data)


def present(scenario, agreement=None):
    """Starts the probe's setup with `agreement` as modlic.tx_ (None: no such
    file) and waits for the presentation dialog; SetDestDir answers 0, so the
    setup ends once the user agrees. Returns the dialog and its controls."""
    scenario.add_module("probe")
    scenario.probe.answer("SetDestDir", 0)
    if agreement is not None:
        scenario.add_file("modlic.tx_", agreement)
    scenario.start("probe")
    return scenario.presentation()


def agreed(scenario):
    """True once the setup has gone past the presentation dialog."""
    return bool(scenario.calls("SetDestDir"))


def region(scenario, name, rect):
    """Screenshot shots/<name>.png of the whole screen and the raw RGB bytes of `rect`."""
    shot = scenario.screenshot(name)
    left, top, right, bottom = rect
    return subprocess.run(
        ["convert", str(shot), "-crop", f"{right - left}x{bottom - top}+{left}+{top}",
         "+repage", "-depth", "8", "rgb:-"],
        capture_output=True, check=True, timeout=60, stdin=subprocess.DEVNULL).stdout


def files_in(folder):
    return sorted(p.name for p in folder.rglob("*") if p.is_file()) if folder.exists() else []


def small_product(scenario, count):
    """`count` small files F000.DAT ... listed into the sub-folder Many."""
    for i in range(count):
        scenario.add_file(f"F{i:03d}.DAT", f"file {i}\r\n" * 10)
    scenario.write_setup_data(title="Atlas", items=["F*.DAT, T, Many, 0, 0, 1, 0;"])
    scenario.program_files()
    return scenario.dest / "KarveloEngine" / "Many"


class Watch(threading.Thread):
    """Lists setup.exe's windows, then reads the probe's log, over and over
    until setup.exe ends. In that order, a window seen in a snapshot was
    there before every log line of that snapshot's `returned` was read.
    It runs winlist with output files of its own, beside the test's calls."""

    def __init__(self, scenario):
        super().__init__(daemon=True)
        self.scenario = scenario
        self.snapshots = []
        self.failure = None
        self.halt = threading.Event()
        self.out = scenario.logs / "watch.out"
        self.err = scenario.logs / "watch.err"

    def windows(self):
        with open(self.out, "wb") as out, open(self.err, "ab") as err:
            subprocess.run(["wine", str(self.scenario.bin / "winlist.exe"), "list"],
                           env=self.scenario.env(), stdin=subprocess.DEVNULL, stdout=out,
                           stderr=err, timeout=60)
        lines = self.out.read_text(errors="replace").splitlines()
        return WindowList(Window(json.loads(line)) for line in lines
                          if line.startswith("{") and '"hwnd"' in line)

    def run(self):
        try:
            while not self.halt.is_set() and self.scenario.running():
                when = time.monotonic()
                windows = self.windows().find(pid=self.scenario.setup_pid)
                log = self.scenario.log()
                returned = {e["hook"] for e in log if e["event"] == "return"}
                called = {e["hook"] for e in log if e["event"] == "call"}
                snapshot = {"t": when, "copy": windows.copy_window() is not None,
                            "called": called, "returned": returned}
                for name, text in (("preparing", PREPARING), ("shortcuts", SHORTCUTS)):
                    dialog = windows.status_dialog(text)
                    snapshot[name] = None if dialog is None else (
                        "shown" if dialog["visible"] else "hidden")
                self.snapshots.append(snapshot)
                time.sleep(0.05)
        except Exception as error:  # reported by finish(); the scenario may have ended
            if self.scenario.running():
                self.failure = error

    def finish(self):
        self.halt.set()
        self.join(30)
        assert self.failure is None, f"the watcher failed: {self.failure}"
        assert len(self.snapshots) > 20, "the watcher saw too little"
        return self.snapshots

    @staticmethod
    def shown_time(snapshots, name):
        """(first seen shown, last seen shown, first seen gone after) of a status dialog."""
        shown = [i for i, s in enumerate(snapshots) if s[name] == "shown"]
        assert shown, f"the {name} dialog was never seen"
        first, last = shown[0], shown[-1]
        assert shown == list(range(first, last + 1)), f"the {name} dialog came twice"
        assert last + 1 < len(snapshots), f"the {name} dialog never went"
        return snapshots[first]["t"], snapshots[last]["t"], snapshots[last + 1]["t"]


def assert_status_time(scenario, snapshots, name):
    first, last, gone = Watch.shown_time(snapshots, name)
    low, high = STATUS_SECONDS
    assert last - first >= low and gone - first <= high, scenario.report(
        f"the {name} dialog was shown from {first:.2f} to between {last:.2f} and {gone:.2f}")


# ---------------------------------------------------------------------------
# The presentation dialog


def test_presentation_dialog(scenario):
    scenario.add_module("probe")
    # Per cent signs in the title must come out as they are, not as a format.
    title = "Atlas 2.0 %s %d 100%"
    scenario.probe.title(title).answer("SetDestDir", 0)
    scenario.add_file("modlic.tx_", complemented(b"abc"))
    scenario.start("probe")
    dialog, controls = scenario.presentation()
    main = scenario.main_window()
    scenario.screenshot("presentation")

    assert dialog["text"] == PRESENT_CAPTION
    assert dialog["owner"] == main.hwnd, scenario.report("not owned by the main window")
    assert not main["enabled"], "the main window is not disabled under the modal dialog"
    assert sorted(controls) == sorted([BANNER, AGREEMENT, AGREE_BUTTON, EXIT_BUTTON])
    assert (controls[AGREE_BUTTON]["text"], controls[EXIT_BUTTON]["text"]) == ("&I Agree", "E&xit")

    lines = controls[BANNER]["text"].split("\n")
    assert len(lines) == 5, scenario.report(f"banner {controls[BANNER]['text']!r}")
    assert lines[0] == "" and lines[3] == ""
    assert lines[1] == "\tWELCOME TO KARVELO SETUP"
    assert lines[2].startswith("\t") and lines[2].strip(), "no rights notice"
    assert lines[4] == "\tMODULE ID: " + title
    assert main["text"] == f"KARVELO Setup [{title}] "
    assert controls[AGREEMENT]["text"] == "abc"

    # Centred on the screen by the dialog itself (its template has no DS_CENTER).
    screen = scenario.winlist("screen")[0]
    left, top, right, bottom = dialog["rect"]
    assert (left, top) == ((screen["width"] - (right - left)) // 2,
                           (screen["height"] - (bottom - top)) // 2), scenario.report(
        f"dialog at {dialog['rect']} on {screen['width']} x {screen['height']}")

    default = scenario.send(dialog.hwnd, DM_GETDEFID) & 0xFFFFFFFF
    assert default == (DC_HASDEFID << 16) | AGREE_BUTTON, f"default button {default:#x}"
    assert scenario.calls() == ["InitModule", "Present"]

    scenario.post(dialog.hwnd, WM_COMMAND, AGREE_BUTTON)
    scenario.wait_end("module")
    assert scenario.calls() == ["InitModule", "Present", "SetDestDir"]


@pytest.mark.parametrize("content, shown", [
    (bytes([0x9E, 0x9D, 0x9C]), "abc"),
    (bytes([0x9E, 0x9D, 0x9C, 0xFF, 0x9B, 0x9A]), "abc"),
    (None, ""),
    (b"", ""),
    (complemented("Terms\r\n\tNo warranty, d\xe9j\xe0 vu.".encode("cp1252")),
     "Terms\r\n\tNo warranty, d\xe9j\xe0 vu."),
    # Every byte escaped in the window list: far longer lines than the text.
    (complemented((bytes(range(0xC0, 0xFF)) + b" ") * 50),
     ((bytes(range(0xC0, 0xFF)) + b" ") * 50).decode("cp1252")),
], ids=["abc", "cut-at-ff", "missing", "empty", "lines-and-high-bytes", "high-bytes-only"])
def test_agreement_text(scenario, content, shown):
    dialog, controls = present(scenario, content)
    assert controls[AGREEMENT]["text"] == shown, scenario.report(
        f"agreement {controls[AGREEMENT]['text']!r}")
    assert controls[BANNER]["text"].endswith("MODULE ID: ")
    # Whatever the file, "I Agree" agrees.
    scenario.post(dialog.hwnd, WM_COMMAND, AGREE_BUTTON)
    scenario.wait_end("module")
    assert agreed(scenario)


def test_agreement_text_longer_than_the_buffer_is_cut(scenario):
    # Words and lines, as a licence has: an edit control under Wine takes
    # half a minute to wrap 16000 characters without a blank.
    text = (b"Lorem ipsum dolor sit amet, consectetur adipiscing elit " * 4 + b"\r\n") * 90
    assert len(text) > 16000
    dialog, controls = present(scenario, complemented(text))
    edit = controls[AGREEMENT]
    # The shell reads one byte short of its 16000-byte buffer, so the zero
    # fill behind the text always ends it.
    assert scenario.send(edit.hwnd, WM_GETTEXTLENGTH) == 15999
    assert edit["text"] == text[:15999].decode()
    scenario.post(dialog.hwnd, WM_COMMAND, EXIT_BUTTON)
    scenario.wait_end("declined")


# ---------------------------------------------------------------------------
# The presentation dialog driven from outside, as a person would


def test_escape_and_alt_f4_do_nothing_and_enter_agrees(scenario):
    dialog, _ = present(scenario)
    scenario.focus(dialog)
    scenario.keys("Escape")
    scenario.keys("alt+F4")
    time.sleep(1.0)
    after, _ = scenario.presentation(timeout=1)
    assert after.hwnd == dialog.hwnd, scenario.report("the dialog was replaced")
    assert not agreed(scenario) and scenario.running()

    scenario.keys("Return")
    scenario.wait_end("module")
    assert scenario.calls() == ["InitModule", "Present", "SetDestDir"]


def test_space_presses_the_focused_button_which_is_i_agree(scenario):
    dialog, _ = present(scenario)
    scenario.focus(dialog)
    scenario.keys("space")
    scenario.wait_end("module")
    assert scenario.calls() == ["InitModule", "Present", "SetDestDir"]


def test_exit_button_ends_the_setup(scenario):
    scenario.add_module("probe")
    installed = small_product(scenario, 3)
    scenario.start("probe")
    dialog, controls = scenario.presentation()
    scenario.mouse_click(*controls[EXIT_BUTTON].centre())
    scenario.wait_end("declined")
    assert scenario.calls() == ["InitModule", "Present"]
    assert files_in(scenario.dest) == [] and not installed.exists()
    detach = scenario.events("detach")
    assert detach and detach[-1]["freed"] == 1, "module not released"


def test_screen_saver_refused_by_the_presentation_dialog_only(scenario):
    # The probe logs each system command that reaches the platform's default
    # processing; a refused one never gets there.
    scenario.add_module("probe")
    scenario.probe.set("probe", "syscommands", 1)
    scenario.write_setup_data(title="Atlas")
    scenario.program_files()
    scenario.start("probe")
    dialog, _ = scenario.presentation()
    scenario.send(dialog.hwnd, WM_SYSCOMMAND, SC_SCREENSAVE)
    # The control: compared as a whole, SC_SCREENSAVE with a low bit set is
    # another command and goes on to the default processing.
    scenario.send(dialog.hwnd, WM_SYSCOMMAND, SC_SCREENSAVE + 2)
    commands = [e["command"] for e in scenario.events("syscommand")]
    assert commands == [SC_SCREENSAVE + 2], scenario.report(f"commands {commands}")
    assert scenario.presentation(timeout=1)[0].hwnd == dialog.hwnd

    scenario.post(dialog.hwnd, WM_COMMAND, AGREE_BUTTON)
    preparing = scenario.wait_status(PREPARING)
    scenario.send(preparing.hwnd, WM_SYSCOMMAND, SC_SCREENSAVE)
    commands = [e["command"] for e in scenario.events("syscommand")]
    assert commands == [SC_SCREENSAVE + 2, SC_SCREENSAVE], scenario.report(
        "the preparing dialog refused the screen saver")
    scenario.wait_success()


# ---------------------------------------------------------------------------
# The status dialogs and the copy window


@pytest.mark.timing
def test_status_dialogs_and_a_repaint_during_the_copy(scenario):
    scenario.add_module("probe")
    installed = small_product(scenario, 40)
    # The hooks before the two status dialogs take a while, with the shell's
    # windows answering, so that a dialog shown too early would be seen.
    scenario.probe.actions("StartCopy", "pump 1500")
    scenario.probe.actions("CreateShortcuts", "pump 1500")
    # A cancel request whose question takes 4 s holds the copy still.
    scenario.probe.actions("UserCancel", "pump 4000").answer("UserCancel", 1)
    scenario.start("probe")
    dialog, controls = scenario.presentation()
    main = scenario.main_window()
    watch = Watch(scenario)
    watch.start()
    scenario.mouse_click(*controls[AGREE_BUTTON].centre())

    preparing = scenario.wait_status(PREPARING)
    scenario.screenshot("preparing")
    assert preparing["text"] == PRESENT_CAPTION and preparing["owner"] == main.hwnd

    copying = scenario.wait_copy_window()
    time.sleep(0.5)
    scenario.screenshot("copying")

    # Hold the copy in the module's cancel question, then repaint the main
    # window from outside: the copy window must come through untouched.
    scenario.click_client(main.hwnd, 541, 411)
    scenario.wait_call("UserCancel")
    time.sleep(0.5)
    before = region(scenario, "copy-before-repaint", copying["rect"])
    assert scenario.send(main.hwnd, SM_REPAINT) == 0
    time.sleep(0.5)
    after = region(scenario, "copy-after-repaint", copying["rect"])
    assert not scenario.events("return", hook="UserCancel"), "the hold ended too early"
    assert len(set(before)) > 1, "the copy window's area is blank"
    assert before == after, scenario.report("SM_REPAINT changed the copy window")

    scenario.wait_status(SHORTCUTS)
    scenario.screenshot("shortcuts")
    scenario.wait_success()
    snapshots = watch.finish()

    # The preparing dialog: after StartCopy has returned, alone (no copy
    # window beside it), about four seconds, then the copy window.
    for snapshot in snapshots:
        if snapshot["preparing"] == "shown":
            assert "StartCopy" in snapshot["returned"], "shown before StartCopy returned"
            assert not snapshot["copy"], "the copy window is up beside the preparing dialog"
    assert any("StartCopy" in s["called"] and "StartCopy" not in s["returned"]
               for s in snapshots), "the watcher never saw StartCopy running"
    assert_status_time(scenario, snapshots, "preparing")
    _, last, _ = Watch.shown_time(snapshots, "preparing")
    copy_times = [s["t"] for s in snapshots if s["copy"]]
    assert copy_times and copy_times[0] > last

    # The shortcut dialog: after CreateShortcuts has returned, after the copy.
    for snapshot in snapshots:
        if snapshot["shortcuts"] == "shown":
            assert "CreateShortcuts" in snapshot["returned"], "shown before the hook returned"
            assert not snapshot["copy"]
    assert_status_time(scenario, snapshots, "shortcuts")

    assert len(files_in(installed)) == 40
    assert scenario.calls()[-4:] == ["GenIniFiles", "GetAddInOff", "EndSetup", "DemoQuery"]


@pytest.mark.timing
def test_shortcut_dialog_without_the_hook(scenario):
    # The module that exports nothing, loaded under the default name.
    scenario.add_module("defsetup", dll="empty.dll")
    installed = small_product(scenario, 2)
    scenario.start(None)
    dialog, _ = scenario.presentation()
    watch = Watch(scenario)
    watch.start()
    scenario.post(dialog.hwnd, WM_COMMAND, AGREE_BUTTON)
    scenario.wait_status(SHORTCUTS)
    scenario.wait_success()
    snapshots = watch.finish()
    assert_status_time(scenario, snapshots, "shortcuts")
    assert files_in(installed) == ["F000.DAT", "F001.DAT"]


@pytest.mark.timing
def test_refused_shortcuts_end_the_setup_unseen(scenario):
    scenario.add_module("probe")
    installed = small_product(scenario, 2)
    menu = scenario.dest / "Menu"
    menu.mkdir()
    link = menu / "Atlas.lnk"
    scenario.probe.actions(
        "CreateShortcuts",
        f"shortcut description=Atlas|name=Atlas|folder={windows_path(menu)}|file=F000.DAT"
        f"|targetFolder={windows_path(installed)}",
        f"exists {windows_path(link)}",
        "pump 1500")
    scenario.probe.answer("CreateShortcuts", 0)
    scenario.start("probe")
    dialog, _ = scenario.presentation()
    watch = Watch(scenario)
    watch.start()
    scenario.post(dialog.hwnd, WM_COMMAND, AGREE_BUTTON)
    scenario.wait_end("module")
    snapshots = watch.finish()

    seen = [s["shortcuts"] for s in snapshots if s["shortcuts"]]
    assert "shown" not in seen, scenario.report("the refused shortcut dialog was shown")
    # The watcher did look while the hook ran: the dialog existed, hidden.
    assert "hidden" in seen, scenario.report("the watcher never saw the dialog being made")
    exists = scenario.events("action", hook="CreateShortcuts", action="exists")
    assert exists and exists[0]["result"] == 1, "the shortcut was not on disk during the hook"
    assert scenario.calls()[-2:] == ["EndCopy", "CreateShortcuts"]
    # The setup did not complete: the files are taken back. The shortcut lies
    # outside the places an undo may touch (the destination, the Start Menus
    # and desktops), as a record's link would: it stays.
    assert files_in(installed) == []
    assert link.exists()
    assert not scenario.windows().find(class_=MAIN_CLASS)
