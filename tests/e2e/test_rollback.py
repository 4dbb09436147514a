"""An installation that does not finish leaves the machine as it was: an
upgrade cancelled half-way, or killed at several points of its copy and run
again, or removed by the uninstaller after the kill; and a file in use is
replaced at the restart instead of failing the installation."""

import re

import pytest

from harness import windows_path

KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Harbour Atlas"
PENDING = r"HKLM\System\CurrentControlSet\Control\Session Manager"
OLD = [f"F{i:02d}.TXT" for i in range(12)]
NEW = OLD + [f"N{i:02d}.TXT" for i in range(4)]


def earlier_installation(scenario):
    """Version 1.0 installed and registered; returns its folder and the bytes
    of each of its files."""
    dest = scenario.registered_stock_product("Harbour Atlas", "1.0", OLD)
    assert scenario.run("/VERYSILENT", timeout=90) == 0, scenario.report("version 1.0")
    return dest, {p.name: p.read_bytes() for p in dest.iterdir() if p.is_file()}


def upgrade(scenario):
    """Version 2.1 laid out over the source folder: the same files anew, and
    four the earlier version did not have."""
    for name in OLD:
        (scenario.src / name).unlink()
    scenario.registered_stock_product("Harbour Atlas", "2.1", NEW)


def as_before(dest, before):
    """The folder holds exactly the earlier version's files, byte for byte:
    nothing new, nothing kept aside, no temporary file, no journal."""
    now = {p.name: p.read_bytes() for p in dest.iterdir()}
    assert now == before, sorted(set(now) ^ set(before)) or "content differs"


def copied(log):
    """How many files the log says the copy put in place so far (the shell's
    own lines, not the module's lines about its answers)."""
    try:
        return len(re.findall(r"^\S+ \S+ file .*: (?:replaced|installed new)\r?$", log.read_text(),
                              re.M))
    except FileNotFoundError:
        return 0


def run_killed(scenario, log, files):
    """Starts the upgrade with the copy's pace, and kills setup.exe once the
    log shows `files` copied (0: once the journal is started)."""
    scenario.start(f'/SILENT /LOG="{windows_path(log)}"')
    if files:
        scenario.wait_until(lambda: copied(log) >= files, 60, "the copy did not get that far")
    else:
        scenario.wait_until(lambda: log.exists() and "journal:" in log.read_text(), 60,
                            "the journal was not started")
    assert scenario.kill_program("setup.exe") == 1
    scenario.wait_exit(30)


def test_an_upgrade_cancelled_half_way_leaves_the_earlier_version(scenario):
    dest, before = earlier_installation(scenario)
    key = scenario.registry_values(KEY)
    upgrade(scenario)
    scenario.add_module("probe")
    scenario.probe.answer("UserCancel", 0)
    scenario.probe.answer("FileConflict", 1)
    scenario.probe.dest_dir(windows_path(dest))
    log = scenario.work / "setup.log"
    scenario.start(f'probe /LOG="{windows_path(log)}"')
    scenario.agree()
    main = scenario.main_window()
    # Past the earlier version's files: some of the new ones have landed too.
    scenario.wait_until(lambda: copied(log) >= 13, 60, "the copy did not get that far")
    scenario.click_client(main.hwnd, 541, 411)
    scenario.wait_end("cancelled")
    as_before(dest, before)
    assert scenario.registry_values(KEY) == key
    text = log.read_text()
    assert re.search(r"undone: .*F00\.TXT put back as it was", text), text
    assert re.search(r"undone: file .*N00\.TXT deleted", text), text


@pytest.mark.parametrize("files", [0, 5, 14], ids=["before-any-file", "early", "late"])
def test_a_setup_killed_during_the_copy_is_undone_by_the_next_one(scenario, files):
    dest, before = earlier_installation(scenario)
    upgrade(scenario)
    run_killed(scenario, scenario.work / "killed.log", files)
    assert (dest / "setup.jnl").exists(), scenario.tree()

    log = scenario.work / "again.log"
    if files < 14:
        assert scenario.run(f'/VERYSILENT /LOG="{windows_path(log)}"', timeout=90) == 0
    else:
        # Interactively the user is told before the installation goes on.
        scenario.start(f'/LOG="{windows_path(log)}"')
        scenario.agree()
        box = scenario.wait_message_box(timeout=40)
        assert "did not finish. Setup has undone its changes" in box["text"], box["text"]
        scenario.press_button(box, "OK")
        scenario.wait_success()
    text = log.read_text()
    assert "did not finish; undoing it" in text, text
    # Rolled back first, then installed whole: every file of 2.1, nothing else.
    names = sorted(p.name for p in dest.iterdir())
    assert names == sorted(NEW + ["uninst.dat", "uninst.exe"]), names
    for name in NEW:
        assert (dest / name).read_bytes() == f"{name}, version 2.1\r\n".encode(), name
    assert scenario.registry_values(KEY)["DisplayVersion"] == ("REG_SZ", "2.1")


def test_the_uninstaller_undoes_a_killed_upgrade_before_removing(scenario):
    dest, before = earlier_installation(scenario)
    upgrade(scenario)
    run_killed(scenario, scenario.work / "killed.log", 5)
    command = scenario.registry_values(KEY)["QuietUninstallString"][1]
    log = scenario.work / "uninstall.log"
    assert scenario.run(cmdline=f'{command} /LOG="{windows_path(log)}"', timeout=90) == 0, \
        scenario.report("uninst.exe")
    text = log.read_text()
    assert "did not finish; undoing it" in text, text
    # The earlier version's files were back in place and recorded: all removed.
    scenario.wait_until(lambda: not dest.exists(), 30, lambda: f"left: {scenario.tree()}")
    assert scenario.registry_values(KEY) is None


def test_a_file_in_use_is_replaced_at_the_restart(scenario):
    dest, before = earlier_installation(scenario)
    upgrade(scenario)
    held = dest / "F03.TXT"
    scenario.hold_file(held)
    log = scenario.work / "setup.log"
    assert scenario.run(f'/VERYSILENT /LOG="{windows_path(log)}"', timeout=90) == 3010, \
        scenario.report("setup")
    assert held.read_bytes() == before["F03.TXT"], "replaced while in use"
    text = log.read_text()
    found = re.search(r"file .*F03\.TXT: in use, replaced at the next restart by (.*)\r?$", text,
                      re.M)
    assert found, text
    temporary = found.group(1).strip()
    waiting = dest / temporary.split("\\")[-1]
    assert waiting.read_bytes() == b"F03.TXT, version 2.1\r\n"
    pending = scenario.wine("reg", "query", PENDING, "/v", "PendingFileRenameOperations")
    assert temporary.lower() in pending.lower() and windows_path(held).lower() in pending.lower(), \
        pending
    record = (dest / "uninst.dat").read_bytes().decode()
    assert record.startswith("KARVELO-UNINSTALL\t3\r\n"), record
    assert f"restart\t{temporary}\r\n" in record, record
    assert "exit code 3010" in text, text
    # Everything else is in place, and nothing was kept aside.
    for name in NEW:
        if name != "F03.TXT":
            assert (dest / name).read_bytes() == f"{name}, version 2.1\r\n".encode(), name
    assert not [p.name for p in dest.iterdir() if p.name.startswith("~kv")]


def test_the_stock_modules_settings_are_taken_back_with_the_copy(scenario):
    # Its [INI] and [REGISTRY] writes come after the copy: closed from
    # outside once they are made, the setup leaves the earlier ones as they were.
    scenario.add_module("defsetup", dll="stock.dll")
    scenario.add_file("A.TXT", "a\r\n")
    tides = r"HKCU\Software\Karvelo Tides"
    scenario.write_setup_data(title="Atlas", items=["A.TXT, T, , 0, 0, 0, 0;"], extra={
        "PRODUCT": {"cbFolder": "Atlas", "cbTitle": "Atlas"},
        "INI": {"cbItem00": "ATLAS.INI|Atlas|Home|%DEST%"},
        "REGISTRY": {"cbItem00": "HKCU|Software\\Karvelo Tides|Home|string|%DEST%",
                     "cbItem01": "HKCU|Software\\Karvelo Tides|Charts|number|12"}})
    scenario.program_files()
    dest = scenario.dest / "Atlas"
    dest.mkdir(parents=True)
    earlier = b"[Atlas]\r\nHome=C:\\Old\r\n"
    (dest / "ATLAS.INI").write_bytes(earlier)
    scenario.set_registry(tides, "Home", "C:\\Old")
    log = scenario.work / "setup.log"
    scenario.start(f'/LOG="{windows_path(log)}"')
    scenario.agree()
    scenario.wait_until(lambda: log.exists() and "Charts]: written" in log.read_text(),
                        90, "the settings were not written")
    scenario.close_setup()
    scenario.wait_end("closed")
    assert (dest / "ATLAS.INI").read_bytes() == earlier, (dest / "ATLAS.INI").read_bytes()
    assert scenario.registry_values(tides) == {"Home": ("REG_SZ", "C:\\Old")}, log.read_text()
    assert sorted(p.name for p in dest.iterdir()) == ["ATLAS.INI"]


def test_the_stock_modules_program_group_goes_with_its_shortcuts_when_undone(scenario):
    # The group is made with its shortcuts, before the settings: closed from
    # outside once they are written, the setup leaves no empty group behind.
    scenario.add_module("defsetup", dll="stock.dll")
    scenario.add_file("A.TXT", "a\r\n")
    scenario.write_setup_data(title="Atlas", items=["A.TXT, T, , 0, 0, 0, 0;"], extra={
        "PRODUCT": {"cbFolder": "Atlas", "cbTitle": "Atlas"},
        "GROUP": {"cbName": "Harbour Charts", "cbItem00": "Atlas|A.TXT||.|The atlas"},
        "INI": {"cbItem00": "ATLAS.INI|Atlas|Home|%DEST%"}})
    scenario.program_files()
    log = scenario.work / "setup.log"
    scenario.start(f'/LOG="{windows_path(log)}"')
    scenario.agree()
    scenario.wait_until(lambda: log.exists() and "] Home: written" in log.read_text(),
                        90, "the settings were not written")
    assert "Atlas.lnk: written" in log.read_text(), log.read_text()
    scenario.close_setup()
    scenario.wait_end("closed")
    assert scenario.program_groups("Harbour Charts") == [], log.read_text()
