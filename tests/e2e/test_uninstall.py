"""Removing a product: the stock module registers it through the kit
(cbId), and uninst.exe, started as Add/Remove Programs starts it, removes
what the installations made and keeps what is not theirs to remove."""

import hashlib
import os
import re

import pytest

from harness import windows_path

UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
KEY = UNINSTALL + r"\Harbour Atlas"
RECORDS = r"HKLM\Software\Karvelo\Install records"
PENDING = r"HKLM\System\CurrentControlSet\Control\Session Manager"
UNINSTALL_EXIT = {"removed": 0, "declined": 1, "partly": 2, "no-record": 3, "restart": 3010}


def registered_product(scenario, version="2.1", extra_file=None, conflict="keep",
                       product="Harbour Atlas"):
    """A product with shortcuts and settings, registered as `product`."""
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
        "PRODUCT": {"cbFolder": "Harbour Atlas", "cbTitle": "Harbour Atlas 2", "cbId": product,
                    "cbVersion": version, "cbPublisher": "Karvelo", "cbConflict": conflict},
        "GROUP": {"cbName": "Harbour Atlas", "cbItem00": "Demo|DEMO.EXE|HARBOUR.TXT|Demos|demo"},
        "INI": {"cbItem00": "ATLAS.INI|Atlas|Home|%DEST%", "cbItem01": "ATLAS.INI|Atlas|Version|2"}})
    scenario.program_files()
    return scenario.dest / "Harbour Atlas"


def install(scenario, folder=None):
    args = "/VERYSILENT" + (f' /DIR="{windows_path(folder)}"' if folder else "")
    assert scenario.run(args, timeout=90) == 0, scenario.report("setup")


def filetime(path):
    """The last-write time of `path` as the record carries it (a FILETIME)."""
    return os.stat(path).st_mtime_ns // 100 + 116444736000000000


def sealed(lines):
    """Record text of `lines` (header and items) with a matching end line:
    anyone can compute its check."""
    body = "".join(line + "\r\n" for line in lines).encode()
    check = 2166136261
    for byte in body:
        check = ((check ^ byte) * 16777619) & 0xFFFFFFFF
    return body + f"end\t{len(lines) - 6}\t{check:08x}\r\n".encode()


def record_lines(path):
    """The header and item lines of the record at `path`."""
    return path.read_bytes().decode().split("\r\n")[:-2]


def start_menu(scenario):
    return scenario.program_groups("Harbour Atlas")


def uninstall(scenario, command, expected, folder):
    """Runs the uninstaller's command line as the control panel would. When
    it ends, its work is done: the program in the product's folder is gone
    (or, in use elsewhere, left to the restart)."""
    code = scenario.run(cmdline=command, timeout=90)
    assert code == UNINSTALL_EXIT[expected], scenario.report(f"uninst.exe ended with {code}")
    if expected != "restart":
        assert not (folder / "uninst.exe").exists(), scenario.report("uninst.exe is still there")


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
        "UninstallString": ("REG_SZ", f'"{home}\\uninst.exe" /ID="Harbour Atlas"'),
        "QuietUninstallString": ("REG_SZ", f'"{home}\\uninst.exe" /ID="Harbour Atlas" /S'),
        "EstimatedSize": ("REG_DWORD", values["EstimatedSize"][1]),
        "NoModify": ("REG_DWORD", "0x1"), "NoRepair": ("REG_DWORD", "0x1")}, values
    files = [p for p in dest.rglob("*") if p.is_file() and p.name not in ("OLD.TXT", "ATLAS.INI", "uninst.dat")]
    assert int(values["EstimatedSize"][1], 16) == -(-sum(p.stat().st_size for p in files) // 1024)
    assert start_menu(scenario)

    (dest / "Demos" / "NOTES.TXT").write_bytes(b"the user's notes\r\n")
    (dest / "Demos" / "MINE.TXT").write_bytes(b"the user's own file\r\n")
    scenario.hold_file(dest / "README.TXT")
    log = scenario.dest / "uninstall.log"
    uninstall(scenario, f'{values["QuietUninstallString"][1]} /LOG="{windows_path(log)}"',
              "restart", dest)

    # Kept: the edited file (and its folder), the file that was there before,
    # and the file in use until the restart, which is scheduled.
    assert scenario.tree() == ["Harbour Atlas/", "Harbour Atlas/Demos/",
                               "Harbour Atlas/Demos/MINE.TXT",
                               "Harbour Atlas/Demos/NOTES.TXT", "Harbour Atlas/OLD.TXT",
                               "Harbour Atlas/README.TXT", "uninstall.log"], scenario.tree()
    assert (dest / "OLD.TXT").read_bytes() == b"the user's own\r\n"
    pending = scenario.wine("reg", "query", PENDING, "/v", "PendingFileRenameOperations")
    assert f"{home}\\README.TXT".lower() in pending.lower(), pending
    text = log.read_text()
    assert re.search(r"file .*NOTES\.TXT: kept, changed since installation", text), text
    assert re.search(r"folder .*\\Demos: kept: not empty \(1 file added since\)", text), text
    assert "exit code 3010" in text, text
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
    # Gone by the time the exit code is known: a deployment tool looks then.
    assert scenario.tree() == [], scenario.tree()
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


def test_a_file_edited_in_place_is_kept_and_the_removal_is_whole(scenario):
    # Same length, newer time: the user's settings, not the installation's.
    dest = registered_product(scenario)
    install(scenario)
    notes = dest / "Demos" / "NOTES.TXT"
    before = notes.stat()
    notes.write_bytes(b"NOTES\r\n")
    os.utime(notes, ns=(before.st_atime_ns, before.st_mtime_ns + 10**9))
    assert notes.stat().st_size == before.st_size
    log = scenario.dest / "uninstall.log"
    quiet = scenario.registry_values(KEY)["QuietUninstallString"][1]
    uninstall(scenario, f'{quiet} /LOG="{windows_path(log)}"', "removed", dest)
    assert notes.read_bytes() == b"NOTES\r\n"
    assert re.search(r"NOTES\.TXT: kept, changed since installation", log.read_text())
    assert scenario.registry_values(KEY) is None


def test_a_record_naming_what_is_not_the_installations_removes_nothing(scenario):
    dest = registered_product(scenario)
    install(scenario)
    outside = scenario.dest / "Shared"
    (outside / "Old").mkdir(parents=True)
    document = outside / "report.doc"
    document.write_bytes(b"the user's report\r\n")
    document.chmod(0o444)
    other_ini = outside / "OTHER.INI"
    other_ini.write_bytes(b"[Other]\r\nKey=1\r\n")
    other_key = UNINSTALL + r"\Other Tool"
    scenario.wine("reg", "add", other_key, "/v", "InstallLocation", "/d", windows_path(outside),
                  "/f")
    # Another product named, and what is not the installation's listed with a
    # valid check: a document as a shortcut, another program's settings, a
    # folder outside the product's.
    lines = record_lines(dest / "uninst.dat")
    lines[1] = "product\tOther Tool"
    lines += [f"link\t{document.stat().st_size:x}\t{filetime(document):x}\t{windows_path(document)}",
              f"ini\t{windows_path(other_ini)}\tOther\tKey",
              f"dir\t{windows_path(outside / 'Old')}"]
    record = sealed(lines)
    (dest / "uninst.dat").write_bytes(record)
    log = scenario.work / "uninstall.log"
    before = scenario.tree()
    command = f'"{windows_path(dest / "uninst.exe")}" /S /LOG="{windows_path(log)}"'
    assert scenario.run(cmdline=command, timeout=60) == UNINSTALL_EXIT["no-record"]
    assert scenario.tree() == before
    assert "not the record setup wrote" in log.read_text(), log.read_text()
    # Even a record vouched for where setup keeps its digest acts only within
    # the product's places.
    scenario.wine("reg", "add", RECORDS + r"\Other Tool", "/v", windows_path(dest), "/d",
                  hashlib.sha256(record).hexdigest(), "/f")
    assert scenario.run(cmdline=command, timeout=60) == UNINSTALL_EXIT["no-record"]
    assert scenario.tree() == before
    assert "cannot have made" in log.read_text(), log.read_text()
    assert other_ini.read_bytes() == b"[Other]\r\nKey=1\r\n"
    assert scenario.registry_values(other_key) is not None
    assert scenario.registry_values(KEY) is not None


def test_a_record_planted_before_the_installation_is_not_taken_over(scenario):
    dest = registered_product(scenario)
    victim = scenario.dest / "victim.txt"
    victim.write_bytes(b"another program's file\r\n")
    dest.mkdir(parents=True)
    (dest / "uninst.dat").write_bytes(sealed([
        "KARVELO-UNINSTALL\t2", "product\tHarbour Atlas", "name\tHarbour Atlas 2",
        "version\t2.1", "publisher\tKarvelo", f"folder\t{windows_path(dest)}",
        f"file\t{victim.stat().st_size:x}\t{filetime(victim):x}\t{windows_path(victim)}"]))
    install(scenario)
    assert windows_path(victim) not in (dest / "uninst.dat").read_text()
    quiet = scenario.registry_values(KEY)["QuietUninstallString"][1]
    uninstall(scenario, quiet, "removed", dest)
    assert victim.read_bytes() == b"another program's file\r\n"


def test_removing_one_of_two_installations_leaves_the_other(scenario):
    registered_product(scenario)
    first, second = scenario.dest / "InstA", scenario.dest / "InstB"
    install(scenario, first)
    # Setup refuses a second folder while the first holds the product's
    # record; with it out of the way for a moment, as an older setup would
    # not have looked, the key moves to the second folder.
    (first / "uninst.dat").rename(first / "uninst.dat.aside")
    install(scenario, second)
    (first / "uninst.dat.aside").rename(first / "uninst.dat")
    assert scenario.registry_values(KEY)["InstallLocation"][1] == windows_path(second)
    uninstall(scenario, f'"{windows_path(first / "uninst.exe")}" /S', "removed", first)
    assert not first.exists()
    values = scenario.registry_values(KEY)
    assert values and values["InstallLocation"][1] == windows_path(second), values
    assert [p.name for p in start_menu(scenario)[0].iterdir()], "the shortcuts went"
    uninstall(scenario, values["QuietUninstallString"][1], "removed", second)
    assert scenario.registry_values(KEY) is None
    assert not start_menu(scenario)


def test_a_second_product_in_the_folder_leaves_the_first_removable(scenario):
    tools = scenario.dest / "Tools"
    registered_product(scenario)
    install(scenario, tools)
    registered_product(scenario, product="Other Tool")
    # Refused before anything is copied: the folder is another product's.
    assert scenario.run(f'/VERYSILENT /DIR="{windows_path(tools)}"', timeout=90) == 2
    assert b"product\tHarbour Atlas\r\n" in (tools / "uninst.dat").read_bytes()
    assert scenario.registry_values(UNINSTALL + r"\Other Tool") is None
    uninstall(scenario, scenario.registry_values(KEY)["QuietUninstallString"][1], "removed", tools)
    assert scenario.registry_values(KEY) is None


def test_a_command_naming_its_product_refuses_another_products_record(scenario):
    dest = registered_product(scenario)
    install(scenario)
    quiet = scenario.registry_values(KEY)["QuietUninstallString"][1]
    lines = record_lines(dest / "uninst.dat")
    lines[1] = "product\tOther Tool"
    record = sealed(lines)
    (dest / "uninst.dat").write_bytes(record)
    scenario.wine("reg", "add", RECORDS + r"\Other Tool", "/v", windows_path(dest), "/d",
                  hashlib.sha256(record).hexdigest(), "/f")
    before = scenario.tree()
    assert scenario.run(cmdline=quiet, timeout=60) == UNINSTALL_EXIT["no-record"]
    assert scenario.tree() == before


def test_a_removal_beside_another_ends_when_its_work_is_done(scenario):
    # An interactive removal waits at its question, its program running from
    # the product's folder; a quiet one removes the product meanwhile. Its
    # exit code tells what is left: nothing, or a restart still to come.
    dest = registered_product(scenario)
    install(scenario)
    values = scenario.registry_values(KEY)
    scenario.start(cmdline=values["UninstallString"][1])
    scenario.wait_until(lambda: [b for b in scenario.message_boxes() if b["visible"]], 30,
                        "the first removal asked nothing")
    code = scenario.run(cmdline=values["QuietUninstallString"][1], timeout=90)
    assert code in (UNINSTALL_EXIT["removed"], UNINSTALL_EXIT["restart"]), code
    if code == UNINSTALL_EXIT["removed"]:
        assert scenario.tree() == [], scenario.tree()
    else:
        assert scenario.tree() == ["Harbour Atlas/", "Harbour Atlas/uninst.exe"], scenario.tree()
