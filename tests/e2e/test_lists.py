"""The copy list, the add-in list and the file lists, end to end: complete runs
of setup.exe with the probe module, which sends its list requests from its
hooks and logs the results it gets back, and what lands below the destination.

ProgramFilesDir points at the scenario's dest/, so the default destination
folder is dest/KarveloEngine. Every scenario agrees to the presentation dialog
and runs to the end of the setup; none answers a question the setup would not
ask, so a setup that stops early fails its wait for the exit."""

from harness import BenchError, ini_text, windows_path

PRODUCT = "KarveloEngine"
LIST_FULL = ("KARVELO - Setup", "No more copy-list place")
ADDINS_FULL = ("KARVELO Setup", "No more AddIn-list place")


def install(scenario):
    """Runs the whole setup with the probe and checks that it got to its end."""
    scenario.add_module("probe")
    scenario.program_files()
    scenario.start("probe")
    scenario.agree()
    calls = scenario.wait_success()
    assert "EndSetup" in calls, scenario.report("the setup did not run to its end")


def results(scenario, hook):
    """(action, result) of every request `hook` sent, in order."""
    return [(e["action"], e["result"]) for e in scenario.events("action", hook=hook)]


def product(scenario):
    return scenario.dest / PRODUCT


def installed(scenario):
    """What is below the destination folder (relative paths, folders with "/")."""
    return scenario.tree(product(scenario))


def windows_folder(scenario):
    return scenario.prefix / "drive_c" / "windows"


# ---------------------------------------------------------------------------
# Requests of the module after the lists are built


def test_module_requests(scenario):
    # Two files from the data file take slots 0 and 1; every request of the
    # module from GetAddInList then gets the next free slot.
    scenario.write_setup_data(items=["BASE1.TXT,T,,0,0,1,0;", "BASE2.TXT,T,,0,0,1,0;"])
    for name in ("BASE1.TXT", "BASE2.TXT", "SUB.TXT", "DEEP.TXT", "WIN.TXT", "KEEP.TXT",
                 "OVER.TXT", "LAST.TXT", "DATA.kvt", "LOGO.BMP", "MAP.KVT", "OK.kvt",
                 "INFO.DOC"):
        scenario.add_file(name, f"new {name}\r\n")
    scenario.add_file("MOD.TXT", "upper case\r\n")
    scenario.add_file("mod.txt", "lower case\r\n")
    scenario.add_file("EMPTY.kvt", b"")
    scenario.write_file_list("GOOD.LST", ["DATA.kvt", "LOGO.BMP", "MAP.KVT"])
    scenario.write_file_list("BAD.LST", ["MISSING.BMP", "EMPTY.kvt", "OK.kvt", "INFO.DOC"])
    # An absolute entry: its source outside the source folder, its
    # destination outside the destination folder.
    elsewhere = scenario.root / "elsewhere"
    elsewhere.mkdir()
    (elsewhere / "ABS.SRC").write_bytes(b"absolute\r\n")
    outside = scenario.root / "outside"
    outside.mkdir()
    # Files already there before the setup: an entry added after the conflict
    # scan replaces one only when it asks for it.
    product(scenario).mkdir()
    (product(scenario) / "KEEP.TXT").write_bytes(b"old\r\n")
    (product(scenario) / "OVER.TXT").write_bytes(b"old\r\n")

    scenario.probe.actions(
        "GetAddInList",
        "copy source=MOD.TXT|dest=MOD.TXT",
        "copy source=MOD.TXT|dest=OTHER.TXT|sub=Docs",
        "copy source=mod.txt|dest=lower.txt",
        "copyunterminated dest=BAD.TXT",
        "copy source=SUB.TXT|dest=SUB.OUT|sub=Docs",
        r"copy source=DEEP.TXT|dest=DEEP.TXT|sub=Docs\Help",
        "copy source=WIN.TXT|dest=KVWIN.INI|windows=1|sub=WinSub",
        f"copy source={windows_path(elsewhere / 'ABS.SRC')}"
        f"|dest={windows_path(outside / 'ABS.OUT')}|sub=AbsSub|windows=1|absolute=1",
        "copy source=KEEP.TXT|dest=KEEP.TXT",
        "copy source=OVER.TXT|dest=OVER.TXT|overwrite=1",
        "addin description=Viewer|file=VIEW.EXE|parameters=/x",
        "addin description=Viewer|file=OTHER.EXE",
        "addin description=viewer|file=VIEW.EXE",
        "filelist GOOD.LST",
        "filelist BAD.LST",
        "filelist NOLIST.LST",
        "copy source=LAST.TXT|dest=LAST.TXT")
    install(scenario)

    assert results(scenario, "GetAddInList") == [
        ("copy", 2),
        ("copy", -1),             # the same source name, another destination
        ("copy", 3),              # the name in other case is another name
        ("copyunterminated", -1),
        ("copy", 4), ("copy", 5), ("copy", 6), ("copy", 7), ("copy", 8), ("copy", 9),
        ("addin", 0), ("addin", -1), ("addin", 1),
        ("filelist", 1),          # slots 10 to 12
        ("filelist", 0),          # OK.kvt and INFO.DOC in 13 and 14 all the same
        ("filelist", 1),          # no such list: nothing listed, nothing missing
        ("copy", 15),
    ], scenario.report("results of the requests")
    assert scenario.calls("FileConflict") == []

    assert installed(scenario) == [
        "AbsSub/", "BASE1.TXT", "BASE2.TXT",
        "Docs/", "Docs/Help/", "Docs/Help/DEEP.TXT", "Docs/SUB.OUT",
        "KEEP.TXT", "LAST.TXT", "MOD.TXT", "OVER.TXT",
        "Resources/", "Resources/INFO.DOC", "Resources/LOGO.BMP", "Resources/MAP.KVT",
        "Tables/", "Tables/DATA.kvt", "Tables/OK.kvt",
        "WinSub/", "lower.txt",
    ], scenario.report("installed files")
    folder = product(scenario)
    assert (folder / "MOD.TXT").read_bytes() == b"upper case\r\n"
    assert (folder / "lower.txt").read_bytes() == b"lower case\r\n"
    assert (folder / "Docs" / "SUB.OUT").read_bytes() == b"new SUB.TXT\r\n"
    assert (folder / "KEEP.TXT").read_bytes() == b"old\r\n"
    assert (folder / "OVER.TXT").read_bytes() == b"new OVER.TXT\r\n"
    assert (windows_folder(scenario) / "KVWIN.INI").read_bytes() == b"new WIN.TXT\r\n"
    assert (outside / "ABS.OUT").read_bytes() == b"absolute\r\n"
    assert sorted(p.name for p in outside.iterdir()) == ["ABS.OUT"]
    assert not (windows_folder(scenario) / "ABS.OUT").exists()


# ---------------------------------------------------------------------------
# The reset after SetDestDir


def test_requests_before_the_reset_are_lost(scenario):
    # BASE.TXT is there already and its line does not overwrite: the conflict
    # scan asks, and a request sent while it asks stays in the list.
    scenario.write_setup_data(items=["BASE.TXT,T,,0,0,0,0;"])
    for name in ("BASE.TXT", "EARLY.TXT", "GONE.TXT", "DEST.TXT", "GONE2.TXT", "SCAN.TXT"):
        scenario.add_file(name, f"new {name}\r\n")
    product(scenario).mkdir()
    (product(scenario) / "BASE.TXT").write_bytes(b"old\r\n")

    probe = scenario.probe
    probe.actions("Present", "copy source=EARLY.TXT|dest=EARLY.TXT",
                  "copy source=GONE.TXT|dest=GONE.TXT", "addin description=Early")
    probe.actions("SetDestDir", "copy source=DEST.TXT|dest=DEST.TXT",
                  "copy source=GONE2.TXT|dest=GONE2.TXT", "addin description=Early")
    probe.actions("FileConflict", "copy source=SCAN.TXT|dest=SCAN.TXT")
    probe.answer("FileConflict", 1)
    probe.actions("GetAddInList", "copy source=EARLY.TXT|dest=EARLY.TXT",
                  "addin description=Early")
    probe.actions("StartCopy", "copy source=DEST.TXT|dest=DEST.TXT")
    install(scenario)

    # Until SetDestDir returns the lists keep what was sent: the add-in sent
    # again there is a duplicate.
    assert results(scenario, "Present") == [("copy", 0), ("copy", 1), ("addin", 0)]
    assert results(scenario, "SetDestDir") == [("copy", 2), ("copy", 3), ("addin", -1)]
    # Then they start again: BASE.TXT in slot 0, the same requests are no
    # duplicates any more.
    assert results(scenario, "FileConflict") == [("copy", 1)]
    assert results(scenario, "GetAddInList") == [("copy", 2), ("addin", 0)]
    assert results(scenario, "StartCopy") == [("copy", 3)]
    conflicts = scenario.calls("FileConflict")
    assert [c["destPath"] for c in conflicts] == [
        windows_path(product(scenario) / "BASE.TXT")], scenario.report("questions")

    assert installed(scenario) == ["BASE.TXT", "DEST.TXT", "EARLY.TXT", "SCAN.TXT"]
    assert (product(scenario) / "BASE.TXT").read_bytes() == b"new BASE.TXT\r\n"


# ---------------------------------------------------------------------------
# The data file's list


def test_data_file_list(scenario):
    libraries = {name: (f"{name} ".encode() * 300 + bytes(range(256)) * 4)
                 for name in ("A.DLL", "B.DLL", "C.DLL")}
    for name, content in libraries.items():
        packed = scenario.add_compressed(name[:-1] + "_", content)
        assert packed.stat().st_size < len(content), f"{name} was not compressed"
    # A plain file under a compressed file's name is copied as it is.
    scenario.add_file("D.DL_", b"plain library\r\n")
    scenario.add_file("README.TX_", b"readme\r\n")
    scenario.add_file("SETUP.EX_", b"setup\r\n")
    scenario.add_file("NOTES.TX_", b"notes\r\n")
    scenario.add_file("MY FILE.EX_", b"blank in the name\r\n")
    scenario.add_file("GAP.TXT", b"behind the gap\r\n")
    scenario.add_file("kvlsetup.dat", ini_text({"FILELIST": {
        "cbItem00": "*.DL_, L, System, 0, 0, 1, 0;",
        "cbItem01": "README.TX_,T,,0,0,1,0",           # no ';': rejected, reading goes on
        "cbItem02": "SETUP.EX_ , E , , 0 , 0 , 1 , 0 ;",
        "cbItem03": "A.DL_,X,Other,0,0,1,0;",          # A.DL_ is listed already
        "cbItem04": "NOTES.TX_,XT,Docs,0,0,1,0,9;",
        "cbItem05": "MY?FILE.EX_,E,,0,0,1,0;",
        "cbItem07": "GAP.TXT,T,,0,0,1,0;",             # behind the missing cbItem06
    }}))
    install(scenario)

    assert installed(scenario) == [
        "Docs/", "Docs/NOTES.TXT", "MY FILE.EXE", "SETUP.EXE",
        "System/", "System/A.DLL", "System/B.DLL", "System/C.DLL", "System/D.DLL",
    ], scenario.report("installed files")
    folder = product(scenario)
    for name, content in libraries.items():
        assert (folder / "System" / name).read_bytes() == content, f"{name} not expanded"
    assert (folder / "System" / "D.DLL").read_bytes() == b"plain library\r\n"
    assert (folder / "SETUP.EXE").read_bytes() == b"setup\r\n"
    assert (folder / "MY FILE.EXE").read_bytes() == b"blank in the name\r\n"
    assert scenario.calls("FileConflict") == []


def test_lines_that_would_leave_the_destination_are_refused(scenario):
    for name in ("UP.TXT", "DEEP.TXT", "ABS.TXT", "UNC.TXT", "STAR.TXT", "OK.TXT", "OUT.kvt",
                 "IN.kvt"):
        scenario.add_file(name, f"{name}\r\n")
    scenario.add_file("kvlsetup.dat", ini_text({"FILELIST": {
        "cbItem00": r"UP.TXT, T, ..\..\..\escaped, 0, 0, 1, 0;",
        "cbItem01": r"DEEP.TXT, T, Data\..\..\x, 0, 0, 1, 0;",
        "cbItem02": f"ABS.TXT, T, {windows_path(scenario.root / 'absolute')}, 0, 0, 1, 0;",
        "cbItem03": r"UNC.TXT, T, \\localhost\share, 0, 0, 1, 0;",
        "cbItem04": "STAR.TXT, *, , 0, 0, 1, 0;",
        "cbItem05": "OK.TXT, T, Fine, 0, 0, 1, 0;",
    }}))
    # A module's list names its files bare; a folder part would climb out too.
    climb = rf"..\..\{scenario.root.name}\src\OUT.kvt"
    scenario.write_file_list("mods.lst", [climb, "IN.kvt"])
    scenario.probe.actions("GetAddInList", "filelist mods.lst")
    install(scenario)

    assert installed(scenario) == ["Fine/", "Fine/OK.TXT", "Tables/", "Tables/IN.kvt"], \
        scenario.report("installed files")
    assert results(scenario, "GetAddInList") == [("filelist", 0)]
    assert scenario.tree() == ["KarveloEngine/", *(f"KarveloEngine/{p}" for p in
                                                   installed(scenario))]
    assert not (scenario.root.parent / "escaped").exists()
    assert not (scenario.root / "absolute").exists()
    assert scenario.calls("CriticError") == []


# ---------------------------------------------------------------------------
# Full lists


def handle_full_list_boxes(scenario):
    """Presses OK on every message box the setup shows until GetAddInList has
    returned; returns, per box, its caption, text, buttons and how many
    requests of GetAddInList had been answered while it was up."""
    boxes = []

    def next_box():
        if scenario.events("return", hook="GetAddInList"):
            return "returned"
        if not scenario.running():
            raise BenchError(scenario.report(f"setup.exe ended in GetAddInList; boxes {boxes}"))
        return scenario.message_box()
    while (box := scenario.wait_until(
            next_box, what=lambda: f"GetAddInList did not return; boxes {boxes}")) != "returned":
        answered = len(scenario.events("action", hook="GetAddInList"))
        boxes.append((box["caption"], box["text"], box["buttons"], box["owner"], answered))
        scenario.press_button(box, "OK")
        scenario.wait_until(lambda: all(b["hwnd"] != box["hwnd"]
                                        for b in scenario.message_boxes()),
                            10, "OK did not close the box")
    return boxes


def test_full_lists(scenario):
    # 127 files from the data file and one request fill the 128 slots.
    names = [f"F{i:03d}.DAT" for i in range(127)]
    for name in names:
        scenario.add_file(name, name)
    for name in ("NEW1.TXT", "NEW2.TXT", "X.kvt", "Y.BMP"):
        scenario.add_file(name, name)
    scenario.write_file_list("FULL.LST", ["X.kvt", "Y.BMP"])
    scenario.write_setup_data(items=["F*.DAT,T,,0,0,1,0;"])
    addins = [f"addin description=Tool{i}|file=TOOL{i}.EXE" for i in range(8)]
    scenario.probe.actions(
        "GetAddInList",
        "copy source=NEW1.TXT|dest=NEW1.TXT",
        "copy source=F000.DAT|dest=OTHER.DAT",  # a duplicate: no message even now
        "copy source=NEW2.TXT|dest=NEW2.TXT",
        "filelist FULL.LST",
        *addins,
        "addin description=Tool0|file=AGAIN.EXE",
        "addin description=Tool8|file=TOOL8.EXE")
    scenario.add_module("probe")
    scenario.program_files()
    scenario.start("probe")
    scenario.agree()
    boxes = handle_full_list_boxes(scenario)

    # One box per add that found no place, shown while that add was under
    # way: NEW2.TXT (3 answered before it), the two names of FULL.LST (the
    # file list is answered only after both), the ninth add-in.
    assert boxes == [
        (*LIST_FULL, ["OK"], "0x0", 2),
        (*LIST_FULL, ["OK"], "0x0", 3),
        (*LIST_FULL, ["OK"], "0x0", 3),
        (*ADDINS_FULL, ["OK"], "0x0", 13),
    ], scenario.report(f"boxes {boxes}")
    assert results(scenario, "GetAddInList") == [
        ("copy", 127), ("copy", -1), ("copy", -1),
        ("filelist", 1),  # both files exist: that they found no place does not count
        *[("addin", i) for i in range(8)],
        ("addin", -1), ("addin", -1),
    ], scenario.report("results of the requests")

    # The setup goes on and installs the 128 entries.
    calls = scenario.wait_success(120)
    assert "StartCopy" in calls and "EndSetup" in calls
    assert installed(scenario) == sorted(names + ["NEW1.TXT"]), scenario.report("installed")
    assert (product(scenario) / "F126.DAT").read_bytes() == b"F126.DAT"
