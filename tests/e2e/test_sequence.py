"""The installation sequence end to end: complete runs from the agreement to
the demonstration, the order of the module's hooks, every refusal, the copy's
cancel request and failure, shortcuts read back by an independent reader, the
demonstration's command line, and the sender handshake.

Each scenario installs real files (some compressed by the independent
mscompress tool) from its own source folder into its own destination, with
ProgramFilesDir pointed at the scenario's dest/ folder."""

import shutil
import time

import pytest

from harness import MAIN_CLASS, SHORTCUTS, lnk_fields, windows_path

PROGRAM_MANAGER = "Error: Program Manager not found. Setup must exit."

FULL_ORDER = ["InitModule", "Present", "SetDestDir", "FileConflict", "GetAddInList", "StartCopy",
              "EndCopy", "CreateShortcuts", "GenIniFiles", "GetAddInOff", "EndSetup", "DemoQuery"]


# ---------------------------------------------------------------------------
# Helpers


def add_demo(scenario, name="DEMO.EX_"):
    """The project's demonstration program, compressed, as a distribution file:
    it records its command line and working folder beside itself."""
    return scenario.add_compressed(name, (scenario.bin / "demo.exe").read_bytes())


def dest_dir(scenario):
    """Where the default destination lands: ProgramFilesDir is dest/."""
    return scenario.dest / "KarveloEngine"


def standard_product(scenario):
    """A small product: a compressed file replacing one that exists already
    (overwrite 0, so the module is asked), data files by wildcard into a
    sub-folder, a document for the demonstration, and the demonstration."""
    scenario.add_compressed("README.TX_", b"Read me, version 2\r\n" * 20)
    scenario.add_compressed("PORTS.DA_", b"port,depth\r\n" * 100)
    scenario.add_compressed("TIDES.DA_", b"day,high\r\n" * 60)
    scenario.add_file("CHART.TXT", "A chart\r\n")
    add_demo(scenario)
    scenario.write_setup_data(title="Atlas", items=[
        "README.TX_, T, , 0, 0, 0, 0;",
        "*.DA_, T, Data, 0, 0, 1, 0;",
        "CHART.TXT, T, Demos, 0, 0, 1, 0;",
        "DEMO.EX_, E, , 0, 0, 1, 0;",
    ])
    old = dest_dir(scenario) / "README.TXT"
    old.parent.mkdir(parents=True, exist_ok=True)
    old.write_bytes(b"the old readme\r\n")
    scenario.program_files()


def probe_setup(scenario):
    scenario.add_module("probe")
    standard_product(scenario)


def sender_setup(scenario, **sender):
    """The probe's product, with a sender window started from InitModule."""
    probe_setup(scenario)
    scenario.probe.sender(**sender)
    scenario.probe.actions("InitModule", "startsender")


# ---------------------------------------------------------------------------
# Complete runs


def test_module_without_hooks_installs_the_data_files_list(scenario):
    # The only module is one that exports nothing, under the default name.
    scenario.add_module("defsetup", dll="empty.dll")
    standard_product(scenario)
    scenario.add_file("modlic.tx_", bytes(b ^ 0xFF for b in b"Licence of the atlas"))
    scenario.start(None)
    edit = [w for w in scenario.agree().values() if w["class"].lower() == "edit"]
    assert edit and edit[0]["text"] == "Licence of the atlas", scenario.report("agreement text")
    # The preparing dialog comes first; then the shortcut dialog.
    scenario.wait_status(SHORTCUTS)
    scenario.wait_success()

    dest = dest_dir(scenario)
    # No FileConflict export: the existing readme is replaced, expanded.
    assert (dest / "README.TXT").read_bytes() == b"Read me, version 2\r\n" * 20
    assert (dest / "Data" / "PORTS.DAT").read_bytes() == b"port,depth\r\n" * 100
    assert (dest / "Data" / "TIDES.DAT").read_bytes() == b"day,high\r\n" * 60
    assert (dest / "Demos" / "CHART.TXT").read_bytes() == b"A chart\r\n"
    assert (dest / "DEMO.EXE").read_bytes() == (scenario.bin / "demo.exe").read_bytes()
    time.sleep(1)
    assert not (dest / "demo-launch.txt").exists(), "a demonstration was started"
    assert not list(dest.rglob("*.tmp")) and not list(dest.rglob("kvl*")), "temporary files left"


def test_complete_run_calls_every_hook_in_order(scenario):
    probe_setup(scenario)
    scenario.start("probe")
    scenario.agree()
    calls = scenario.wait_success()
    assert calls == FULL_ORDER, scenario.report(f"calls {calls}")

    conflict = scenario.calls("FileConflict")[0]
    args = {k: v for k, v in conflict.items() if k not in ("event", "t", "hook", "n")}
    values = list(args.values())
    assert windows_path(dest_dir(scenario) / "README.TXT") in values, scenario.report("destPath")
    assert windows_path(scenario.src / "README.TX_") in values, scenario.report("sourcePath")
    # The probe answers 1 (replace): the new readme is there.
    assert (dest_dir(scenario) / "README.TXT").read_bytes().startswith(b"Read me, version 2")
    set_dest = scenario.calls("SetDestDir")[0]
    assert windows_path(dest_dir(scenario)) in set_dest.values(), scenario.report("default dest")
    assert scenario.events("detach")[-1]["freed"] == 1


def test_the_module_learns_what_the_setup_did(scenario):
    scenario.add_module("probe")
    for name in ("NEW.TXT", "SWAP.TXT", "SKIP.TXT", "KEEP.TXT"):
        scenario.add_file(name, name)
    scenario.write_setup_data(items=["NEW.TXT, T, Docs\\Deep, 0, 0, 1, 0;",
                                     "SWAP.TXT, T, , 0, 0, 0, 0;", "SKIP.TXT, T, , 0, 0, 0, 0;"])
    dest = dest_dir(scenario)
    dest.mkdir(parents=True)
    for name in ("SWAP.TXT", "SKIP.TXT", "KEEP.TXT"):
        (dest / name).write_bytes(b"old")
    scenario.program_files()
    scenario.probe.answer("FileConflict", 1, 0)
    # Added after the scan: one over an existing file it does not replace, one missing.
    scenario.probe.actions("GetAddInList", "copy source=KEEP.TXT|dest=KEEP.TXT",
                           "copy source=GONE.TXT|dest=GONE.TXT|overwrite=1")
    scenario.probe.answer("CriticError", 1)
    scenario.probe.actions("EndSetup", "installed")
    scenario.start("probe")
    scenario.agree()
    scenario.wait_end("file-failed")
    home = windows_path(dest)
    items = scenario.events("installed")
    assert [(e["kind"], e["path"]) for e in items] == [
        (5, f"{home}\\SKIP.TXT"), (1, f"{home}\\Docs"), (1, f"{home}\\Docs\\Deep"),
        (2, f"{home}\\Docs\\Deep\\NEW.TXT"), (3, f"{home}\\SWAP.TXT"), (4, f"{home}\\KEEP.TXT"),
        (6, f"{home}\\GONE.TXT")], scenario.report("installed items")
    assert (items[3]["bytes"], items[3]["stamped"]) == (7, 1)


# System names that Windows looks for in the program's folder before its own.
PLANTED = ["lz32", "version", "uxtheme", "dwmapi", "cryptbase", "userenv", "propsys", "wtsapi32",
           "winmm", "oleacc", "msimg32"]


def test_libraries_planted_beside_setup_are_never_loaded(scenario):
    probe_setup(scenario)
    for name in PLANTED:
        shutil.copyfile(scenario.bin / "planted.dll", scenario.src / f"{name}.dll")
    scenario.native_first = PLANTED
    scenario.probe.actions("CreateShortcuts", "shortcut description=Atlas|name=Atlas|folder="
                           + windows_path(scenario.dest) + "|file=DEMO.EXE|targetFolder="
                           + windows_path(dest_dir(scenario)))
    scenario.start("probe")
    scenario.agree()
    calls = scenario.wait_success()
    assert calls == FULL_ORDER, scenario.report(f"calls {calls}")
    assert sorted(p.name for p in scenario.src.glob("*.loaded")) == []
    assert (dest_dir(scenario) / "Data" / "PORTS.DAT").exists()
    assert (scenario.dest / "Atlas.lnk").exists()


def test_dest_dir_moved(scenario):
    """SetDestDir moves every destination, the Demos folder and the
    demonstration's working folder."""
    scenario.add_module("probe")
    standard_product(scenario)
    # A document name with a blank: a pattern cannot hold one, a wildcard finds it.
    scenario.add_file("CHART ONE.TXT", "Chart one\r\n")
    scenario.write_setup_data(title="Atlas", items=[
        "README.TX_, T, , 0, 0, 1, 0;",
        "*.DA_, T, Data, 0, 0, 1, 0;",
        "CHART?ONE.TXT, T, Demos, 0, 0, 1, 0;",
        "DEMO.EX_, E, , 0, 0, 1, 0;",
    ])
    moved = scenario.dest / "My Atlas"
    scenario.probe.dest_dir(windows_path(moved))
    scenario.probe.demo("DEMO.EXE", "CHART ONE.TXT")
    scenario.probe.answer("DemoQuery", 1)
    scenario.start("probe")
    scenario.agree()
    scenario.wait_success()

    assert (moved / "README.TXT").exists()
    assert (moved / "Data" / "PORTS.DAT").exists()
    assert (moved / "Demos" / "CHART ONE.TXT").read_bytes() == b"Chart one\r\n"
    assert not (dest_dir(scenario) / "Data").exists(), "files went to the default destination"

    command, cwd = scenario.wait_demo_launch(moved)
    program = windows_path(moved / "DEMO.EXE")
    document = windows_path(moved / "Demos" / "CHART ONE.TXT")
    # The program path has a blank and is quoted; the document path is not.
    assert command == f'"{program}" {document}', command
    assert cwd.rstrip("\\").lower() == windows_path(moved).lower(), cwd


def test_empty_program_files_value_takes_the_default_destination(scenario):
    # Joined as it stands, "" would install below the folder setup runs in.
    probe_setup(scenario)
    scenario.set_registry(r"HKLM\Software\Microsoft\Windows\CurrentVersion",
                          "ProgramFilesDir", "")
    scenario.start("probe")
    scenario.agree()
    scenario.wait_success()
    default = scenario.prefix / "drive_c" / "Program Files" / "KarveloEngine"
    assert (default / "Data" / "PORTS.DAT").exists(), scenario.report("not in the default")
    assert scenario.tree(scenario.work) == []


def test_demo_without_document(scenario):
    """Without a document the program starts alone: the bare Demos folder
    would reach it as a document that does not exist."""
    scenario.add_module("probe")
    add_demo(scenario)
    scenario.write_setup_data(items=["DEMO.EX_, E, , 0, 0, 1, 0;"])
    scenario.program_files()
    scenario.probe.demo("DEMO.EXE", "")
    scenario.probe.answer("DemoQuery", 1)
    scenario.start("probe")
    scenario.agree()
    scenario.wait_success()
    command, _ = scenario.wait_demo_launch(dest_dir(scenario))
    program = windows_path(dest_dir(scenario) / "DEMO.EXE")
    assert command == (f'"{program}"' if " " in program else program), command


# ---------------------------------------------------------------------------
# Refusals


@pytest.mark.parametrize("hook, answer", [
    ("Present", 0),
    ("SetDestDir", 0),
    ("FileConflict", 4),
    ("GetAddInList", 0),
    ("StartCopy", 0),
    ("EndCopy", 0),
    ("CreateShortcuts", 0),
])
def test_refusal_ends_the_setup_at_its_point(scenario, hook, answer):
    probe_setup(scenario)
    scenario.probe.answer(hook, answer)
    scenario.start("probe")
    if hook != "Present":
        scenario.agree()
    calls = scenario.wait_end("module")
    expected = FULL_ORDER[:FULL_ORDER.index(hook) + 1]
    assert calls == expected, scenario.report(f"calls {calls}")
    # Ended before it was complete: what the copy did, if it ran, is undone.
    assert not (dest_dir(scenario) / "Data" / "PORTS.DAT").exists()
    assert (dest_dir(scenario) / "README.TXT").read_bytes() == b"the old readme\r\n"


def test_failed_copy_with_critic_error_going_on_reaches_the_finish(scenario):
    probe_setup(scenario)
    scenario.probe.actions("GetAddInList",
                           "copy source=MISSING.TX_|dest=MISSING.TXT|sub=Gone|overwrite=1")
    scenario.probe.answer("CriticError", 1)
    scenario.start("probe")
    scenario.agree()
    # However the module decides, the installation is partial.
    calls = scenario.wait_end("file-failed")
    assert calls == FULL_ORDER[:6] + ["CriticError"] + FULL_ORDER[6:], scenario.report(calls)
    critic = scenario.calls("CriticError")[0]
    failed = windows_path(dest_dir(scenario) / "Gone" / "MISSING.TXT")
    assert failed in critic.values(), scenario.report("failedPath")
    # The entries before the failed one were copied, and no partial file is left.
    assert (dest_dir(scenario) / "DEMO.EXE").exists()
    assert not (dest_dir(scenario) / "Gone" / "MISSING.TXT").exists()
    assert not list((dest_dir(scenario) / "Gone").iterdir())


def test_failed_copy_with_critic_error_refusing_ends_the_setup(scenario):
    probe_setup(scenario)
    scenario.probe.actions("StartCopy", "copy source=MISSING.TX_|dest=MISSING.TXT|overwrite=1")
    scenario.probe.answer("CriticError", 0)
    scenario.start("probe")
    scenario.agree()
    calls = scenario.wait_end("file-failed")
    assert calls == FULL_ORDER[:6] + ["CriticError"], scenario.report(calls)


def test_compressed_file_cut_inside_its_header_is_a_failed_copy(scenario):
    probe_setup(scenario)
    header = (scenario.src / "README.TX_").read_bytes()[:9]
    scenario.add_file("README.TX_", header)
    scenario.probe.answer("FileConflict", 1)
    scenario.probe.answer("CriticError", 1)
    scenario.start("probe")
    scenario.agree()
    scenario.wait_end("file-failed")
    critic = scenario.calls("CriticError")
    assert critic and windows_path(dest_dir(scenario) / "README.TXT") in critic[0].values(), \
        scenario.report("no failed copy reported")
    assert (dest_dir(scenario) / "README.TXT").read_bytes() == b"the old readme\r\n"


def test_failed_copy_without_critic_error_is_told_and_the_setup_goes_on(scenario):
    # A module that exports nothing: the shell itself names the file and why.
    scenario.add_module("defsetup", dll="empty.dll")
    standard_product(scenario)
    scenario.add_file("README.TX_", (scenario.src / "README.TX_").read_bytes()[:9])
    scenario.start(None)
    scenario.agree()
    box = scenario.wait_message_box(timeout=40)
    readme = windows_path(dest_dir(scenario) / "README.TXT")
    lines = box["texts"][0].split("\n")
    assert box["caption"] == "KARVELO Setup", scenario.report("caption")
    assert lines[0] == f"Error: {readme} could not be installed.", lines
    assert lines[2] and not lines[2].startswith("System error"), lines  # the system's words
    scenario.press_button(box, "OK")
    scenario.wait_status(SHORTCUTS)
    scenario.wait_end("file-failed")
    assert (dest_dir(scenario) / "README.TXT").read_bytes() == b"the old readme\r\n"


def test_destination_folder_of_250_characters_installs(scenario):
    # The temporary file beside the target must fit where the target fits.
    scenario.add_module("probe")
    scenario.add_file("A.TXT", "a\r\n")
    scenario.write_setup_data(items=["A.TXT, T, , 0, 0, 1, 0;"])
    scenario.program_files()
    deep = scenario.dest
    while len(windows_path(deep)) < 230:
        deep = deep / "d123456789"
    deep = deep / ("x" * (249 - len(windows_path(deep))))
    assert len(windows_path(deep)) == 250
    deep.mkdir(parents=True)
    scenario.probe.dest_dir(windows_path(deep))
    scenario.start("probe")
    scenario.agree()
    scenario.wait_success()
    assert scenario.tree(deep) == ["A.TXT"]
    assert (deep / "A.TXT").read_bytes() == b"a\r\n"


# ---------------------------------------------------------------------------
# The user's cancel request during the copy


def many_files(scenario, count=40):
    for i in range(count):
        scenario.add_file(f"F{i:03d}.DAT", f"file {i}\r\n" * 10)
    scenario.write_setup_data(items=["F*.DAT, T, Many, 0, 0, 1, 0;"])
    scenario.program_files()


@pytest.mark.parametrize("answer", [0, 1], ids=["cancel", "go-on"])
def test_cancel_zone_asks_the_module(scenario, answer):
    scenario.add_module("probe")
    many_files(scenario)
    scenario.probe.answer("UserCancel", answer)
    scenario.start("probe")
    scenario.agree()
    main = scenario.main_window()
    scenario.wait_copy_window()
    # On the edge of the zone nothing happens.
    scenario.click_client(main.hwnd, 540, 411)
    scenario.click_client(main.hwnd, 541, 410)
    time.sleep(0.5)
    assert not scenario.calls("UserCancel"), scenario.report("asked outside the zone")
    scenario.click_client(main.hwnd, 541, 411)
    scenario.wait_call("UserCancel")
    calls = scenario.wait_end("cancelled" if answer == 0 else "complete")
    if answer == 0:
        assert calls == FULL_ORDER[:3] + ["GetAddInList", "StartCopy", "UserCancel"], calls
        # What the copy had done is undone, the folders it made with it.
        assert not dest_dir(scenario).exists(), scenario.tree()
    else:
        installed = list((dest_dir(scenario) / "Many").iterdir())
        assert calls == FULL_ORDER[:3] + ["GetAddInList", "StartCopy", "UserCancel"] + \
            FULL_ORDER[6:], calls
        assert len(installed) == 40


def test_entry_added_during_the_copy_is_copied_and_none_is_lost(scenario):
    # AAA.TXT takes slot 0 and is skipped, which frees that slot behind the
    # copy; the module then adds X.TXT from UserCancel while the copy runs.
    scenario.add_module("probe")
    scenario.add_file("AAA.TXT", "new aaa\r\n")
    scenario.add_file("X.TXT", "x\r\n")
    many_files(scenario)
    scenario.write_setup_data(items=["AAA.TXT, T, Many, 0, 0, 0, 0;",
                                     "F*.DAT, T, Many, 0, 0, 1, 0;"])
    old = dest_dir(scenario) / "Many" / "AAA.TXT"
    old.parent.mkdir(parents=True)
    old.write_bytes(b"old aaa\r\n")
    scenario.probe.answer("FileConflict", 0)
    scenario.probe.answer("UserCancel", 1)
    scenario.probe.actions("UserCancel", "copy source=X.TXT|dest=X.TXT|sub=Many|overwrite=1")
    scenario.start("probe")
    scenario.agree()
    main = scenario.main_window()
    scenario.wait_copy_window()
    scenario.click_client(main.hwnd, 541, 411)
    scenario.wait_call("UserCancel")
    scenario.wait_success()
    assert scenario.tree(dest_dir(scenario) / "Many") == \
        sorted(["AAA.TXT", "X.TXT"] + [f"F{i:03d}.DAT" for i in range(40)])
    assert old.read_bytes() == b"old aaa\r\n"
    assert (dest_dir(scenario) / "Many" / "X.TXT").read_bytes() == b"x\r\n"


# ---------------------------------------------------------------------------
# Shortcuts


def test_shortcuts_are_written_as_asked(scenario):
    probe_setup(scenario)
    menu = scenario.dest / "Menu"
    menu.mkdir()
    dest = windows_path(dest_dir(scenario))
    scenario.probe.actions(
        "CreateShortcuts",
        f"shortcut description=Atlas demonstration|name=Atlas Demo|folder={windows_path(menu)}"
        f"|file=DEMO.EXE|targetFolder={dest}|arguments=/chart CHART.TXT",
        f"shortcut description=The charts|name=Charts|folder={windows_path(menu)}\\"
        f"|file=|targetFolder={dest}\\Demos|arguments=",
        f"shortcut description=Lost|name=Lost|folder={windows_path(scenario.dest / 'NoMenu')}"
        f"|file=DEMO.EXE|targetFolder={dest}",
        f"shortcut description=Windows folder|name=Windows|folder={windows_path(menu)}|csidl=36",
    )
    scenario.start("probe")
    scenario.agree()
    scenario.wait_success()

    results = [a["result"] for a in scenario.events("action", hook="CreateShortcuts")]
    assert results == [1, 1, 1, 1], scenario.report(f"results {results}")
    demo = lnk_fields(menu / "Atlas Demo.lnk")
    assert demo["Local path"].lower() == f"{dest}\\DEMO.EXE".lower(), demo
    assert demo["Description"] == "Atlas demonstration"
    assert demo["Command line arguments"] == "/chart CHART.TXT"
    charts = lnk_fields(menu / "Charts.lnk")
    assert charts["Local path"].lower() == f"{dest}\\Demos".lower(), charts
    assert charts["Command line arguments"] in ("", None)
    windows = lnk_fields(menu / "Windows.lnk")
    assert windows["Local path"].lower() == "c:\\windows", windows
    assert not (scenario.dest / "NoMenu").exists()
    assert sorted(p.name for p in menu.iterdir()) == ["Atlas Demo.lnk", "Charts.lnk",
                                                      "Windows.lnk"]


# ---------------------------------------------------------------------------
# The sender handshake


def test_sender_success_while_the_start_is_pending_starts_once(scenario):
    sender_setup(scenario, reply=0x8000, delay=0)
    scenario.start("probe")
    scenario.agree()
    calls = scenario.wait_success()
    assert calls == FULL_ORDER, scenario.report(calls)
    sender = scenario.events("sender")
    assert sender and sender[0]["message"] == 1204, scenario.report("sender not started")
    assert scenario.events("reply"), scenario.report("no reply")


def test_sender_success_after_the_start_does_not_start_twice(scenario):
    sender_setup(scenario, reply=0x8000, delay=2500)
    scenario.start("probe")
    scenario.wait_call("Present")
    scenario.wait_log("reply", timeout=20)
    time.sleep(1.5)  # past the 8 ticks of the dropped or refused second start
    scenario.agree()
    calls = scenario.wait_success()
    assert calls == FULL_ORDER, scenario.report(calls)


def test_sender_failure_tells_the_user_once_and_runs_the_finish_once(scenario):
    sender_setup(scenario, reply=0, delay=0, repeat=2)
    scenario.start("probe")
    box = scenario.wait_message_box()
    assert box["caption"] == "KARVELO Setup"
    assert box["texts"] == [PROGRAM_MANAGER]
    main = scenario.windows().find(class_=MAIN_CLASS, top_level=True)[0]
    assert int(box["owner"], 16) == int(main["hwnd"], 16), scenario.report("owner")
    time.sleep(2)  # past the 24 ticks of the start: no step may run under the box
    assert scenario.calls() == ["InitModule"], scenario.report("a step ran under the box")
    scenario.press_button(box, "OK")
    calls = scenario.wait_end("sender")
    assert calls == ["InitModule", "EndSetup", "DemoQuery"], scenario.report(calls)
    assert len(scenario.events("reply")) == 2
    assert not (dest_dir(scenario) / "Data").exists()


def test_sender_ending_the_setup_from_its_window_returns_into_loaded_code(scenario):
    sender_setup(scenario, delay=0, exit=1)
    scenario.start("probe")
    scenario.wait_end("module")
    assert scenario.events("sender-exit"), scenario.report("the sender never got back")
    assert scenario.events("detach")[-1]["freed"] == 1


# ---------------------------------------------------------------------------
# Messages from another process

SM_FINISHSETUP, SM_CLOSE, SM_ADDCOPYENTRY, SM_SENDERREPLY, CM_FINISH = 1104, 1114, 1194, 1234, 1034


@pytest.mark.parametrize("moment", ["agreement", "copy"])
def test_messages_from_another_process_drive_nothing(scenario, moment):
    scenario.add_module("probe")
    many_files(scenario)
    scenario.start("probe")
    main = scenario.main_window()
    posts = [(main, SM_FINISHSETUP, 0), (main, SM_FINISHSETUP, 0), (main, SM_CLOSE, 0),
             (main, SM_SENDERREPLY, 0), (main, SM_ADDCOPYENTRY, 0x10)]
    if moment == "agreement":
        scenario.presentation()
    else:
        scenario.agree()
        posts.append((scenario.wait_copy_window(), CM_FINISH, 0))
    for window, message, lparam in posts:
        assert scenario.post(window.hwnd, message, 0, lparam)
    # Sent, a pointer from another process is refused, not followed.
    assert scenario.send(main.hwnd, SM_ADDCOPYENTRY, 0, 0x10) == -1
    if moment == "agreement":
        time.sleep(1)
        scenario.agree()
    calls = scenario.wait_success()
    assert calls == [h for h in FULL_ORDER if h != "FileConflict"], scenario.report(calls)
    assert len(scenario.tree(dest_dir(scenario) / "Many")) == 40


@pytest.mark.parametrize("sender", ["module", "other-process"])
def test_late_sender_reply_does_not_freeze_the_setup(scenario, sender):
    # A success reply after the begin step has started must schedule nothing:
    # its post would take the slot that the preparing dialog needs to close.
    probe_setup(scenario)
    if sender == "module":
        scenario.probe.sender(reply=0x8000, delay=0)
        scenario.probe.actions("StartCopy", "startsender", "pump 300")
    else:
        scenario.probe.actions("StartCopy", "pump 1500")
    scenario.start("probe")
    scenario.agree()
    if sender == "other-process":
        scenario.wait_call("StartCopy")
        main = scenario.main_window()
        # Replies keep coming until StartCopy has returned, so that one of
        # them falls within the last 8 ticks before the preparing dialog.
        while not scenario.events("return", hook="StartCopy"):
            assert scenario.post(main.hwnd, 1234, 0, 0x8000)
    else:
        scenario.wait_log("reply")
    calls = scenario.wait_success()
    assert calls == FULL_ORDER, scenario.report(calls)


def test_a_drive_too_small_is_named_before_the_copy_and_retry_goes_on_once_there_is_room(
        scenario):
    scenario.add_module("probe")
    scenario.add_compressed("BIG.DA_", b"\0" * (600 * 1024))
    scenario.write_setup_data(items=["BIG.DA_, T, , 0, 0, 1, 0;"])
    scenario.program_files()
    drive = scenario.small_drive("T", 1024)
    scenario.in_mounts("sh", "-c", f'head -c 614400 /dev/zero > "{drive}/filler"')
    log = scenario.dest / "setup.log"
    scenario.start(f'/DIR="T:\\Atlas" /LOG="{windows_path(log)}" probe')
    scenario.agree()
    box = scenario.wait_message_box(timeout=40)
    scenario.screenshot("no-space")
    assert box["text"] == (
        "There is not enough free space on T:\\ to install the product.\n\n"
        "Needed: 600.0 KB\nFree: 424.0 KB\n\nNothing has been copied yet. Make room on the "
        "drive and choose Retry, or choose Cancel to end the setup."), scenario.report("box")
    assert scenario.tree(drive) == ["filler"], scenario.tree(drive)
    assert "StartCopy" not in scenario.calls()
    scenario.in_mounts("rm", drive / "filler")
    scenario.press_button(box, "Retry")
    scenario.wait_success()
    assert scenario.tree(drive) == ["Atlas/", "Atlas/BIG.DAT"], scenario.tree(drive)
    assert "disk space: T:\\ needs 614,400 bytes, 1,048,576 are free\n" in log.read_text()
