"""Removing a product: the stock module registers it through the kit
(cbId), and uninst.exe, started as Add/Remove Programs starts it, removes
what the installations made and keeps what is not theirs to remove."""

import re

import pytest

from harness import windows_path

KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Harbour Atlas"
PENDING = r"HKLM\System\CurrentControlSet\Control\Session Manager"
UNINSTALL_EXIT = {"removed": 0, "declined": 1, "partly": 2, "no-record": 3}


def registered_product(scenario, version="2.1", extra_file=None, conflict="keep"):
    """A product with shortcuts and settings, registered as Harbour Atlas."""
    scenario.add_module("defsetup", dll="stock.dll")
    scenario.add_file("uninst.exe", (scenario.bin / "uninst.exe").read_bytes())
    scenario.add_compressed("README.TX_", b"Read me\r\n")
    scenario.add_compressed("DEMO.EX_", (scenario.bin / "demo.exe").read_bytes())
    scenario.add_file("HARBOUR.TXT", f"The harbour, version {version}\r\n")
    items = ["README.TX_, T, , 0, 0, 1, 0;", "DEMO.EX_, E, , 0, 0, 1, 0;",
             "HARBOUR.TXT, T, Demos, 0, 0, 1, 0;", "NOTES.TXT, T, Demos, 0, 0, 1, 0;",
             "OLD.TXT, T, , 0, 0, 0, 0;"]
    scenario.add_file("NOTES.TXT", "notes\r\n")
    scenario.add_file("OLD.TXT", "setup's old.txt\r\n")
    if extra_file:
        scenario.add_file(extra_file, "only in this version\r\n")
        items.append(f"{extra_file}, {extra_file[-1]}, Demos, 0, 0, 1, 0;")
    scenario.write_setup_data(title="Atlas", items=items, extra={
        "PRODUCT": {"cbFolder": "Harbour Atlas", "cbTitle": "Harbour Atlas 2", "cbId": "Harbour Atlas",
                    "cbVersion": version, "cbPublisher": "Karvelo", "cbConflict": conflict},
        "GROUP": {"cbName": "Harbour Atlas", "cbItem00": "Demo|DEMO.EXE|HARBOUR.TXT|Demos|demo"},
        "INI": {"cbItem00": "ATLAS.INI|Atlas|Home|%DEST%", "cbItem01": "ATLAS.INI|Atlas|Version|2"}})
    scenario.program_files()
    return scenario.dest / "Harbour Atlas"


def install(scenario):
    assert scenario.run("/VERYSILENT", timeout=90) == 0, scenario.report("setup")


def start_menu(scenario):
    return scenario.program_groups("Harbour Atlas")


def uninstall(scenario, command, expected, folder):
    """Runs the uninstaller's command line as the control panel would, and
    waits for its temporary copy to finish behind it (the program in the
    product's folder is the last thing it removes)."""
    code = scenario.run(cmdline=command, timeout=90)
    assert code == UNINSTALL_EXIT[expected], scenario.report(f"uninst.exe ended with {code}")
    scenario.wait_until(lambda: not (folder / "uninst.exe").exists(), 30,
                        "the temporary copy did not remove uninst.exe")


def test_quiet_uninstall_removes_what_was_made_and_keeps_the_rest(scenario):
    dest = registered_product(scenario)
    dest.mkdir(parents=True)
    (dest / "OLD.TXT").write_bytes(b"the user's own\r\n")
    install(scenario)
    home = windows_path(dest)
    values = scenario.registry_values(KEY)
    assert values == {
        "DisplayName": ("REG_SZ", "Harbour Atlas 2"), "DisplayVersion": ("REG_SZ", "2.1"),
        "Publisher": ("REG_SZ", "Karvelo"), "InstallLocation": ("REG_SZ", home),
        "DisplayIcon": ("REG_SZ", f"{home}\\uninst.exe"),
        "UninstallString": ("REG_SZ", f'"{home}\\uninst.exe"'),
        "QuietUninstallString": ("REG_SZ", f'"{home}\\uninst.exe" /S'),
        "EstimatedSize": ("REG_DWORD", values["EstimatedSize"][1]),
        "NoModify": ("REG_DWORD", "0x1"), "NoRepair": ("REG_DWORD", "0x1")}, values
    files = [p for p in dest.rglob("*") if p.is_file() and p.name not in ("OLD.TXT", "ATLAS.INI", "uninst.dat")]
    assert int(values["EstimatedSize"][1], 16) == -(-sum(p.stat().st_size for p in files) // 1024)
    assert start_menu(scenario)

    (dest / "Demos" / "NOTES.TXT").write_bytes(b"the user's notes\r\n")
    scenario.hold_file(dest / "README.TXT")
    log = scenario.dest / "uninstall.log"
    uninstall(scenario, f'{values["QuietUninstallString"][1]} /LOG="{windows_path(log)}"',
              "partly", dest)

    # Kept: the edited file (and its folder), the file that was there before,
    # and the file in use until the restart, which is scheduled.
    assert scenario.tree() == ["Harbour Atlas/", "Harbour Atlas/Demos/",
                               "Harbour Atlas/Demos/NOTES.TXT", "Harbour Atlas/OLD.TXT",
                               "Harbour Atlas/README.TXT", "uninstall.log"], scenario.tree()
    assert (dest / "OLD.TXT").read_bytes() == b"the user's own\r\n"
    pending = scenario.wine("reg", "query", PENDING, "/v", "PendingFileRenameOperations")
    assert f"{home}\\README.TXT".lower() in pending.lower(), pending
    text = log.read_text()
    assert re.search(r"file .*NOTES\.TXT: kept, changed since installation", text), text
    assert "exit code 2" in text, text
    assert scenario.registry_values(KEY) is None
    assert not start_menu(scenario)


def test_a_second_installation_is_removed_with_the_first(scenario):
    # The first version ships a file the second does not; the second replaces
    # every file of the first. One uninstall, asked and answered, leaves nothing.
    registered_product(scenario, version="1.0", extra_file="TOUR.ONE")
    install(scenario)
    dest = registered_product(scenario, version="2.1", conflict="replace")
    (scenario.src / "TOUR.ONE").unlink()
    install(scenario)
    values = scenario.registry_values(KEY)
    assert values["DisplayVersion"] == ("REG_SZ", "2.1"), values

    scenario.start(cmdline=values["UninstallString"][1])

    def box(text):
        def shown():
            boxes = [b for b in scenario.message_boxes()
                     if b["visible"] and b["buttons"] and text in b["text"]]
            return boxes[0] if boxes else None
        return scenario.wait_until(shown, 30, f"no box saying {text!r}")
    question = box("Remove Harbour Atlas 2 and all of its components?")
    scenario.press_button(question, "Yes")
    summary = box("was removed from your computer")
    scenario.press_button(summary, "OK")
    assert scenario.wait_exit(60) == UNINSTALL_EXIT["removed"]
    scenario.wait_until(lambda: scenario.tree() == [], 30, lambda: f"left: {scenario.tree()}")
    assert scenario.registry_values(KEY) is None
    assert not start_menu(scenario)


def test_a_damaged_record_removes_nothing(scenario):
    dest = registered_product(scenario)
    install(scenario)
    record = dest / "uninst.dat"
    text = record.read_bytes()
    record.write_bytes(text.replace(b"DEMO.EXE", b"DEMO.EXF", 1))
    before = scenario.tree()
    log = scenario.dest / "uninstall.log"
    code = scenario.run(cmdline=f'"{windows_path(dest / "uninst.exe")}" /S '
                                f'/LOG="{windows_path(log)}"', timeout=60)
    assert code == UNINSTALL_EXIT["no-record"], scenario.report(f"exit code {code}")
    assert scenario.tree() == before + ["uninstall.log"]
    assert "count or check does not match" in log.read_text(), log.read_text()
    assert "Nothing was removed" in log.read_text()
    assert scenario.registry_values(KEY) is not None


# Ways of writing one folder that Windows resolves to that folder.
SPELLINGS = {
    "trailing-dot": lambda base: f"{base}\\Chosen.",
    "trailing-blank": lambda base: f'"{base}\\Chosen "',
    "dot-segment": lambda base: f"{base}\\.\\Chosen",
    "doubled-separator": lambda base: f"{base}\\\\Chosen",
    "forward-slashes": lambda base: f"{base}/Chosen".replace("\\", "/"),
    "dot-dot": lambda base: f"{base}\\Other\\..\\Chosen",
    "long-prefix": lambda base: f"\\\\?\\{base}\\Chosen",
}


@pytest.mark.parametrize("spelling", SPELLINGS)
def test_a_chosen_folder_is_installed_registered_and_removed_as_the_folder_it_names(
        scenario, spelling):
    registered_product(scenario)
    target = scenario.dest / "Chosen"
    home = windows_path(target)
    assert scenario.run(f"/VERYSILENT /DIR={SPELLINGS[spelling](windows_path(scenario.dest))}",
                        timeout=90) == 0, scenario.report("setup")
    assert (target / "README.TXT").exists(), scenario.tree()
    values = scenario.registry_values(KEY)
    assert values and values["InstallLocation"] == ("REG_SZ", home), values
    record = (target / "uninst.dat").read_bytes()
    assert re.search(rb"^folder\W" + re.escape(home.encode()) + rb"\r$", record, re.M), record
    uninstall(scenario, values["QuietUninstallString"][1], "removed", target)
    scenario.wait_until(lambda: scenario.tree() == [], 30, lambda: f"left: {scenario.tree()}")
    assert scenario.registry_values(KEY) is None
