"""Setup without a person: /SILENT, /VERYSILENT, /DIR=, /LOG= and the exit
codes, as a deployment system runs it. Nothing here may wait for a person:
a box left open would hold the run until its time-out."""

import time

from harness import MAIN_CLASS, windows_path

FULL_ORDER = ["InitModule", "Present", "SetDestDir", "GetAddInList", "StartCopy", "EndCopy",
              "CreateShortcuts", "GenIniFiles", "GetAddInOff", "EndSetup", "DemoQuery"]


def many_files(scenario, count):
    for i in range(count):
        scenario.add_file(f"F{i:03d}.DAT", f"file {i}\r\n" * 10)
    scenario.write_setup_data(items=["F*.DAT, T, Many, 0, 0, 1, 0;"])
    return scenario.program_files() / "KarveloEngine"


def stock_product(scenario):
    """The stock module with a folder of its own (which /DIR= overrides) that
    it would show interactively, an existing file it would ask about, a
    shortcut and a demonstration."""
    scenario.add_module("defsetup", dll="stock.dll")
    scenario.add_compressed("README.TX_", b"Read me, version 2\r\n")
    scenario.add_compressed("DEMO.EX_", (scenario.bin / "demo.exe").read_bytes())
    scenario.write_setup_data(title="Atlas", items=[
        "README.TX_, T, , 0, 0, 0, 0;", "DEMO.EX_, E, , 0, 0, 1, 0;"], extra={
        # cbAskFolder: the folder dialog never shows silently.
        "PRODUCT": {"cbFolder": "Atlas", "cbConflict": "ask", "cbDemoProgram": "DEMO.EXE",
                    "cbAskFolder": "1"},
        "GROUP": {"cbName": "Atlas", "cbItem00": "Atlas|DEMO.EXE||.|demo"}})
    scenario.program_files()


def test_very_silent_shows_no_window_and_runs_every_hook(scenario):
    # The probe never asks for the mode: a module that asks nothing still
    # installs silently.
    scenario.add_module("probe")
    dest = many_files(scenario, 5)
    scenario.probe.actions("GetAddInList", "pump 1500")
    scenario.probe.actions("EndCopy", "pump 1500")
    scenario.start("/VERYSILENT probe")
    for hook in ("GetAddInList", "EndCopy"):
        scenario.wait_call(hook)
        windows = scenario.windows().find(pid=scenario.setup_pid)
        assert not windows, scenario.report(f"windows during {hook}")
    calls = scenario.wait_success()
    assert calls == FULL_ORDER, scenario.report(calls)
    assert len(scenario.tree(dest / "Many")) == 5


def test_silent_shows_the_copy_and_nothing_that_waits(scenario):
    scenario.add_module("probe")
    dest = many_files(scenario, 30)
    scenario.start("/SILENT probe")
    copy = scenario.wait_copy_window()
    assert copy["visible"], scenario.report("the copy window is hidden")
    shown = scenario.windows().find(pid=scenario.setup_pid, top_level=True, visible=True)
    assert [w["class"] for w in shown] == [MAIN_CLASS], scenario.report("other windows")
    calls = scenario.wait_success()
    assert calls == FULL_ORDER, scenario.report(calls)
    assert len(scenario.tree(dest / "Many")) == 30


def test_chosen_folder_and_log_with_the_stock_module(scenario):
    stock_product(scenario)
    target = scenario.dest / "My Programs" / "Atlas Chosen"
    old = target / "README.TXT"
    old.parent.mkdir(parents=True)
    old.write_bytes(b"the user's readme\r\n")
    log = scenario.dest / "setup.log"
    # A bad switch first: nothing is installed, and nobody is asked.
    assert scenario.run(f'/VERYSILENT /NOSUCH /LOG="{windows_path(log)}"') == 8
    assert "Unknown switch: /NOSUCH" in log.read_text() and not (target / "DEMO.EXE").exists()

    scenario.start(f'/VERYSILENT /DIR="{windows_path(target)}" /LOG="{windows_path(log)}"')
    scenario.wait_success()
    # The caller's folder wins over cbFolder; nobody was asked about the
    # readme, so the user's stays; no demonstration was started.
    assert scenario.tree(target) == ["DEMO.EXE", "README.TXT"], scenario.tree(target)
    assert old.read_bytes() == b"the user's readme\r\n"
    assert not (scenario.dest / "Atlas").exists()
    time.sleep(0.5)
    assert not (target / "demo-launch.txt").exists(), "a demonstration was started"
    text = log.read_text()
    home = windows_path(target)
    for line in (f"destination: {home}", f"file {home}\\README.TXT: skipped",
                 f"file {home}\\DEMO.EXE: installed new", "module says: shortcut ",
                 "demonstration not started", "setup ended: exit code 0"):
        assert line in text, scenario.report(f"{line!r} not in the log:\n{text}")


def test_failed_silent_install_ends_with_its_code_and_the_reason_logged(scenario):
    stock_product(scenario)
    packed = (scenario.src / "DEMO.EX_").read_bytes()
    scenario.add_file("DEMO.EX_", packed[:len(packed) // 2])
    log = scenario.dest / "setup.log"
    scenario.start(f'/VERYSILENT /LOG="{windows_path(log)}"')
    scenario.wait_end("file-failed")
    text = log.read_text()
    demo = windows_path(scenario.dest / "Atlas" / "DEMO.EXE")
    assert f"file {demo}: failed, " in text, text
    assert f"module says: {demo} could not be installed." in text, text
    assert "setup ended: exit code 4" in text, text


UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Atlas"


def test_silent_upgrade_replaces_the_earlier_versions_files_but_not_the_users_changes(scenario):
    dest = scenario.registered_stock_product("Atlas", "1.0", ["A.TXT", "B.TXT"])
    assert scenario.run("/VERYSILENT", timeout=90) == 0, scenario.report("version 1")
    (dest / "B.TXT").write_bytes(b"the user's own notes\r\n")
    scenario.registered_stock_product("Atlas", "2.0", ["A.TXT", "B.TXT", "C.TXT"])
    log = scenario.dest / "setup.log"
    assert scenario.run(f'/VERYSILENT /LOG="{windows_path(log)}"', timeout=90) == 0
    # Nobody asked about either file: the one version 1 left as it was is
    # the product's own, the one the user changed is the user's.
    assert (dest / "A.TXT").read_bytes() == b"A.TXT, version 2.0\r\n"
    assert (dest / "C.TXT").read_bytes() == b"C.TXT, version 2.0\r\n"
    assert (dest / "B.TXT").read_bytes() == b"the user's own notes\r\n"
    text = log.read_text()
    line = f"file {windows_path(dest / 'B.TXT')}: changed since the earlier installation: kept"
    assert line in text, scenario.report(f"{line!r} not in the log:\n{text}")


def test_reinstall_goes_where_the_product_is_and_another_chosen_folder_is_refused(scenario):
    first = scenario.registered_stock_product("Atlas", "1.0", ["A.TXT"])
    assert scenario.run("/VERYSILENT", timeout=90) == 0, scenario.report("version 1")
    # Version 2 moved its default folder: the installation stays where it is.
    scenario.registered_stock_product("Atlas", "2.0", ["A.TXT"], folder="Atlas 2")
    assert scenario.run("/VERYSILENT", timeout=90) == 0, scenario.report("version 2")
    assert not (scenario.dest / "Atlas 2").exists(), scenario.tree()
    assert (first / "A.TXT").read_bytes() == b"A.TXT, version 2.0\r\n"
    # A folder the caller gives beside it: refused before anything is copied.
    other = scenario.dest / "Elsewhere"
    log = scenario.dest / "setup.log"
    code = scenario.run(f'/VERYSILENT /DIR="{windows_path(other)}" /LOG="{windows_path(log)}"',
                        timeout=90)
    assert code == 2 and not other.exists(), scenario.report(f"exit code {code}")
    assert f"Atlas is installed in {windows_path(first)} already." in log.read_text()
    values = scenario.registry_values(UNINSTALL_KEY)
    assert values["InstallLocation"] == ("REG_SZ", windows_path(first)), values


def test_switches_after_the_module_name_are_heard(scenario):
    # A deployment puts the switches anywhere: after the module's name they
    # still make the run silent, and nobody is asked for a module.
    stock_product(scenario)
    log = scenario.dest / "setup.log"
    scenario.start(f'/LOG="{windows_path(log)}" defsetup /VERYSILENT')
    scenario.wait_success()
    assert (scenario.dest / "Atlas" / "DEMO.EXE").exists(), scenario.tree()
    assert "setup started, very silent" in log.read_text(), log.read_text()


def test_a_folder_that_cannot_be_one_is_refused_and_nothing_installed(scenario):
    stock_product(scenario)
    log = scenario.dest / "setup.log"
    folder = windows_path(scenario.dest / "Atlas") + "\\..."
    assert scenario.run(f'/VERYSILENT /DIR={folder} /LOG="{windows_path(log)}"') == 8
    assert "This folder is not a complete, valid path: /DIR=" in log.read_text(), log.read_text()
    assert scenario.tree() == ["setup.log"], scenario.tree()


def test_the_modules_destination_is_the_folder_it_names_or_refused(scenario):
    scenario.add_module("probe")
    many_files(scenario, 2)
    log = scenario.dest / "setup.log"
    # A relative folder would land below wherever setup was started.
    scenario.probe.dest_dir("Moved")
    assert scenario.run(f'/VERYSILENT /LOG="{windows_path(log)}" probe', timeout=60) == 2
    assert "destination refused: Moved" in log.read_text(), log.read_text()
    assert scenario.tree() == ["setup.log"] and scenario.tree(scenario.work) == []

    moved = scenario.dest / "Moved"
    scenario.probe.dest_dir(windows_path(moved).replace("\\", "/") + ".")
    scenario.start(f'/VERYSILENT /LOG="{windows_path(log)}" probe')
    scenario.wait_success()
    assert f"destination: {windows_path(moved)}\n" in log.read_text(), log.read_text()
    assert len(scenario.tree(moved / "Many")) == 2


def test_a_destination_drive_too_small_ends_before_anything_is_copied(scenario):
    # 600 KiB that mscompress packs to a few: what counts is the expanded size.
    scenario.add_module("probe")
    scenario.add_compressed("BIG.DA_", b"\0" * (600 * 1024))
    scenario.write_setup_data(items=["BIG.DA_, T, , 0, 0, 1, 0;"])
    scenario.program_files()
    drive = scenario.small_drive("T", 512)
    log = scenario.dest / "setup.log"
    scenario.start(f'/VERYSILENT /DIR="T:\\Atlas" /LOG="{windows_path(log)}" probe')
    calls = scenario.wait_end("no-space")
    assert "StartCopy" not in calls, calls
    assert scenario.tree(drive) == [], scenario.tree(drive)
    text = log.read_text()
    assert "disk space: T:\\ needs 614,400 bytes, 524,288 are free: not enough" in text, text
    assert "setup ended: exit code 9" in text, text
