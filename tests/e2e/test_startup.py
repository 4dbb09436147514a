"""Start-up of setup.exe, end to end: the engine check, loading the module the
command line names, InitModule, the caption, the main window and its end.

Every scenario that keeps the main window up holds the setup in the probe's
Present hook (ProbeConfig.hold), so the installation sequence never starts
while start-up is looked at; the window still answers messages meanwhile."""

import re
import shutil
import time

import pytest

from harness import (MAIN_CLASS, SC_CLOSE, SC_MAXIMIZE, SC_MINIMIZE, SC_MOVE, SC_SCREENSAVE,
                     SC_SIZE, WM_SYSCOMMAND, WS_CAPTION, WS_CHILD, WS_MAXIMIZEBOX,
                     WS_MINIMIZEBOX, WS_SYSMENU, WS_THICKFRAME, png_size, windows_path)

MISSING_MODULE = "Error: Missing module. Setup must exit."
ENGINE_RUNNING = "Please exit the KARVELO ENGINE before running setup"
SS_TYPEMASK = 0x1F
SS_ICON = 0x03
STM_GETICON = 0x0171
WS_POPUP = 0x80000000


def close_and_expect_clean_end(scenario):
    """Ends a held setup from outside and checks the common outcome: the exit
    code of a setup closed before its end, and the module released with
    FreeLibrary."""
    scenario.close_setup()
    scenario.wait_end("closed")
    detach = scenario.events("detach")
    assert detach and detach[-1]["freed"] == 1, scenario.report("module not released")


def held_probe(scenario, name="probe"):
    scenario.add_module(name)
    scenario.probe.hold()


def assert_plain_ok_box(scenario, box, caption, text):
    assert box["caption"] == caption, scenario.report(f"caption {box['caption']!r}")
    assert box["texts"] == [text], scenario.report(f"texts {box['texts']!r}")
    assert box["buttons"] == ["OK"], scenario.report(f"buttons {box['buttons']!r}")
    assert box["owner"] == "0x0", scenario.report("the box has an owner")
    # The platform's box always has its icon control; without an icon flag
    # it holds no icon.
    icons = [w for w in scenario.windows().descendants(box["window"])
             if w["class"].lower() == "static" and w["style"] & SS_TYPEMASK == SS_ICON]
    shown = [w for w in icons if scenario.send(w.hwnd, STM_GETICON) != 0]
    assert not shown, scenario.report("the box shows an icon")


# ---------------------------------------------------------------------------
# Caption


@pytest.mark.parametrize("module_title, data_title, expected", [
    ("Title", "Data Title", "KARVELO Setup [Title] "),
    (None, "cbTitle-value", "KARVELO Setup [cbTitle-value] "),
    (None, None, "KARVELO Setup [] "),
    ("T" * 300, "Data Title", "KARVELO Setup [" + "T" * 175 + "] "),
], ids=["module-title", "data-title", "no-title", "over-long-module-title"])
def test_caption(scenario, module_title, data_title, expected):
    held_probe(scenario)
    if module_title is not None:
        scenario.probe.title(module_title)
    if data_title is not None:
        scenario.write_setup_data(title=data_title)
    scenario.start("probe")
    window = scenario.main_window()
    assert window["text"] == expected, scenario.report(f"caption {window['text']!r}")
    if module_title is not None:
        written = scenario.events("write", field="title")
        assert [w["value"] for w in written] == [module_title]
    close_and_expect_clean_end(scenario)


# ---------------------------------------------------------------------------
# Failures at start-up


@pytest.mark.parametrize("args", [
    "nothere",
    "broken",
    "A" * 300,
    '"probe"',
    "..\\outside",
], ids=["no-such-file", "not-a-library", "command-line-too-long", "quotes-kept", "other-folder"])
def test_missing_module(scenario, args):
    # probe.dll is there each time: none of these command lines names it.
    scenario.add_module("probe")
    scenario.add_file("broken.dll", b"MZ but not a library at all\r\n")
    # A module is taken from setup's own folder only, never from beside it.
    shutil.copyfile(scenario.bin / "probe.dll", scenario.root / "outside.dll")
    scenario.start(args)
    box = scenario.wait_message_box()
    assert_plain_ok_box(scenario, box, "KARVELO Setup", MISSING_MODULE)
    shown = scenario.windows().find(class_=MAIN_CLASS, visible=True)
    assert not shown, scenario.report("a main window is shown with the message")
    assert not scenario.events("call"), scenario.report("a hook was called")
    scenario.screenshot("missing-module")
    scenario.press_button(box, "OK")
    scenario.wait_end("cannot-run")
    assert not scenario.windows().find(class_=MAIN_CLASS)


def test_engine_running(scenario):
    scenario.add_module("probe")
    scenario.probe.hold()
    scenario.start_engine()
    scenario.start("probe")
    box = scenario.wait_message_box()
    assert_plain_ok_box(scenario, box, "KARVELO SETUP", ENGINE_RUNNING)
    windows = scenario.windows()
    assert not windows.find(class_=MAIN_CLASS), scenario.report("a main window exists")
    setup_boxes = [b for b in windows.message_boxes() if b["pid"] == scenario.setup_pid]
    assert len(setup_boxes) == 1, scenario.report("more than one message box")
    assert scenario.log() == [], scenario.report("the module was loaded")
    scenario.screenshot("engine-running")
    # This time from the keyboard: Enter on the box.
    scenario.focus(box["window"])
    scenario.keys("Return")
    scenario.wait_end("cannot-run")
    assert scenario.log() == []


# ---------------------------------------------------------------------------
# The module and its first call


def test_init_module_arguments(scenario):
    # A source folder with blanks in its name, started from another folder.
    scenario.src = scenario.root / "Karvelo Disk 1"
    scenario.src.mkdir()
    held_probe(scenario)
    scenario.start("probe")
    init = scenario.wait_call("InitModule")
    window = scenario.main_window()
    assert init["window"] == window.hwnd
    assert init["class"] == MAIN_CLASS
    assert init["sourceDir"] == windows_path(scenario.src) + "\\"
    assert init["titleZero"] == 1
    assert init["ownHandle"] == 1
    # Called while the window is being created: not shown, creation title.
    assert init["visible"] == 0
    assert init["caption"] == "KARVELO - Setup"
    assert scenario.calls()[0] == "InitModule"
    assert len(scenario.calls("InitModule")) == 1
    close_and_expect_clean_end(scenario)


@pytest.mark.parametrize("args, modules, loaded", [
    ("probe", ["probe", "defsetup", "probe  "], "probe"),
    ("probe  ", ["probe", "defsetup", "probe  "], "probe  "),
    (None, ["probe", "defsetup"], "defsetup"),
    ("   ", ["probe", "defsetup"], "defsetup"),
    ("Product One", ["probe", "Product One"], "Product One"),
], ids=["named", "trailing-blanks-kept", "no-arguments", "only-blanks", "blank-inside"])
def test_module_named_by_command_line(scenario, args, modules, loaded):
    # Every module is a probe copy logging to the same file: the attach line
    # of each copy names the file that was loaded.
    for name in modules:
        scenario.add_module(name)
    scenario.probe.hold()
    scenario.start(args)
    scenario.main_window()
    attached = [e["path"] for e in scenario.events("attach")]
    assert attached == [windows_path(scenario.src / f"{loaded}.dll")], scenario.report(
        f"loaded {attached}")
    assert scenario.calls("InitModule")[0]["ownHandle"] == 1
    close_and_expect_clean_end(scenario)


def test_module_without_exports_starts(scenario):
    # empty.dll exports no hook: a missing InitModule is not an error and the
    # data file's title is used.
    scenario.add_module("defsetup", dll="empty.dll")
    scenario.write_setup_data(title="Plain")
    scenario.start()
    window = scenario.main_window()
    assert window["text"] == "KARVELO Setup [Plain] "
    scenario.close_setup()
    scenario.wait_end("closed")


# ---------------------------------------------------------------------------
# The main window


def assert_main_window_geometry(scenario, window, screen):
    style = window["style"]
    assert style & WS_CAPTION == WS_CAPTION, scenario.report("no caption")
    unwanted = WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CHILD | WS_POPUP
    assert style & unwanted == 0, scenario.report(f"style 0x{style:08x}")
    assert (window.width, window.height) == (600, 420)
    left, top = window["rect"][:2]
    assert (left, top) == ((screen["width"] - 600) // 2, (screen["height"] - 420) // 2)
    assert window["visible"] == 1 and window["enabled"] == 1


def test_main_window(scenario):
    held_probe(scenario)
    scenario.write_setup_data(title="Window")
    scenario.start("probe")
    window = scenario.main_window()
    screen = scenario.winlist("screen")[0]
    assert (screen["width"], screen["height"]) == (1024, 768)
    assert_main_window_geometry(scenario, window, screen)
    shot = scenario.screenshot("main-window", window=window)
    assert png_size(shot) == (600, 420)

    # System commands are swallowed; only the screen saver gets a refusal.
    for command in (SC_CLOSE, SC_MOVE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE):
        assert scenario.send(window.hwnd, WM_SYSCOMMAND, command) == 0
    assert scenario.send(window.hwnd, WM_SYSCOMMAND, SC_SCREENSAVE) == 1

    # A real drag of the caption and Alt+F4 from the keyboard change nothing.
    left, top, right, _ = window["rect"]
    grab = ((left + right) // 2, top + 8)
    scenario.xdotool("mousemove", *grab, "mousedown", 1, "mousemove", grab[0] + 120,
                     grab[1] + 90, "mouseup", 1)
    scenario.focus(window)
    scenario.keys("alt+F4")
    time.sleep(0.5)
    after = scenario.main_window()
    assert after.hwnd == window.hwnd and after["rect"] == window["rect"], scenario.report(
        "the window moved or went")
    assert scenario.running()
    assert not scenario.events("detach")

    close_and_expect_clean_end(scenario)
    assert not scenario.windows().find(class_=MAIN_CLASS)


def test_bench_keys_and_drags_reach_a_window(scenario):
    # The control for test_main_window: the same drag and Alt+F4 move and
    # close an ordinary window, so nothing there passes for want of input.
    hwnd, output = scenario.start_helper("witness", 60, name="witness")
    window = scenario.windows().find(class_="WINLIST_WITNESS")[0]
    left, top, right, _ = window["rect"]
    grab = ((left + right) // 2, top + 8)
    scenario.xdotool("mousemove", *grab, "mousedown", 1, "mousemove", grab[0] + 120,
                     grab[1] + 90, "mouseup", 1)
    moved = scenario.windows().find(class_="WINLIST_WITNESS")[0]
    assert moved["rect"] != window["rect"], scenario.report("the drag did not move it")
    scenario.focus(moved)
    scenario.keys("alt+F4")
    scenario.wait_until(lambda: '"destroy"' in output.read_text(), 10,
                        lambda: "Alt+F4 did not close the witness:\n" + output.read_text())
    assert re.search(r'"syscommand".*"wParam": 61536', output.read_text())  # SC_CLOSE


def test_main_window_on_palette_screen(scenario):
    scenario.depth = 8
    held_probe(scenario)
    scenario.start("probe")
    screen = scenario.winlist("screen")[0]
    assert (screen["bits"], screen["palette"]) == (8, 256), scenario.report(f"screen {screen}")
    window = scenario.main_window()
    assert_main_window_geometry(scenario, window, screen)
    assert png_size(scenario.screenshot("main-window-8bit", window=window)) == (600, 420)
    close_and_expect_clean_end(scenario)


def test_exit_from_inside_init_module(scenario):
    # SM_EXIT while the window is still being created: the window goes at
    # once, the module only once the hook has returned, and the process ends.
    scenario.add_module("probe")
    scenario.probe.actions("InitModule", "exit", "caption")
    scenario.start("probe")
    scenario.wait_end("module")
    events = [(e["event"], e.get("action")) for e in scenario.log()]
    assert events == [("attach", None), ("call", None), ("action", "exit"),
                      ("action", "caption"), ("return", None), ("detach", None)], \
        scenario.report("order of events")
    caption = scenario.events("action", action="caption")[0]
    assert caption["result"] == 0  # the main window no longer exists
    assert scenario.events("detach")[0]["freed"] == 1
