"""kvlship check: the sample reads clean, and a distribution with every
mistake a vendor makes has each one named with its key; a careless folder
(devices, FIFOs, links, escape sequences in names) cannot hang or fool it."""
import os
import shutil

from conftest import (BIN, add_lines, assert_named, build_sample, built, checked_json, kvlship,
                      problems, product)


def test_sample_checks_clean(sample_dist):
    status, result = checked_json(sample_dist)
    assert status == 0, result["problems"]
    assert result["destination"] == "C:\\Program Files\\Harbour Atlas"
    installed = {f["installed"]: f for f in result["files"]}
    assert len(installed) == 8
    demo = installed["C:\\Program Files\\Harbour Atlas\\DEMO.EXE"]
    assert demo["compressed"] and demo["size"] == (BIN / "demo.exe").stat().st_size


def broken_distribution(folder):
    """The sample's distribution with each mistake of the list below, once."""
    dist = build_sample(folder)
    shutil.copyfile(dist / "README.TX_", dist / "CUT.BI_")
    with open(dist / "CUT.BI_", "r+b") as cut:
        cut.truncate(40)
    for i in range(130):
        (dist / f"F{i:03}.BIN").write_bytes(b"x")
    (dist / "modlic.tx_").write_bytes(b"You agree to everything.\r\n" * 700)
    long_folder = "Deep\\" * 60
    deep_folder = "Deeper\\" * 30 + "Deep"  # 214 characters: the line fits, the path does not
    lines = [
        "DEMO.EX_, X, , 0, 0, 1, 0;",        # 00 header says DEMO.EXE
        "*.DA_, T, Data, 0, 0, 1, 0;",       # 01
        "TIDES.DA_, T, Demos, 0, 0, 1, 0;",  # 02 already taken by 01
        "READNE.TX_, T, , 0, 0, 0, 0;",      # 03 typo
        "GUIDE.TX_, T, Docs, 0, 0, 1, 0",    # 04 no ';'
        f"HARBOUR.TX_, T, {long_folder}, 0, 0, 1, 0;",  # 05 too long
        "CUT.BI_, N, , 0, 0, 1, 0;",         # 06 cut short
        f"README.TX_, T, {deep_folder}, 0, 0, 1, 0;",  # 07 a path past 259 characters
        "F*.BIN, N, Bulk, 0, 0, 1, 0;",      # 08 more than 128
    ]
    data = (dist / "kvlsetup.dat").read_text()
    head, tail = data.split("[FILELIST]")
    tail = tail[tail.index("\n[") :]
    items = "".join(f"cbItem{n:02}={line}\r\n" for n, line in enumerate(lines))
    items += "cbItem10=CHARTS.kvt, t, Tables, 0, 0, 1, 0;\r\n"  # after a gap
    tail = tail.replace("cbConflict=ask",
                        "cbConflict=overwrite\ncbFileEror=continue\ncbAskFolder=yes")
    tail = tail.replace("[GROUP]\n", "[GROUP]\n"
                        "cbItem03=Guide|GUIDE.TXT\n"              # two of five fields
                        "cbItem04=Help: Read Me|README.TXT||.|x\n"  # ':' in a link name
                        "cbItem06=After|README.TXT||.|x\n")        # after a gap
    tail = tail.replace("[INI]\n", "[INI]\n"
                        "cbItem02=ATLAS.INI Atlas Home\n"             # no '|'
                        "cbItem03=Config\\ATLAS.INI|Atlas|Home|x\n"  # folder never made
                        "cbItem04=ATLAS.INI|Atlas|Data|%dest%\\Data\n")
    tail += "[INI]\ncbItem05=ATLAS.INI|Atlas|Late|x\n"  # a second section
    tail += ("[REGISTRY]\ncbItem00=HKLM|Software\\Microsoft\\Windows|Run|string|x\n"  # the system's
             "cbItem01=HKCU|Software\\Harbour|Tips|number|many\n"
             "[ASSOC]\ncbItem00=.hat|exefile|Chart|DEMO.EXE|\n"       # a type of the system's
             "[DESKTOP]\ncbLink=Atlas|MISSING.EXE||.|x\ncbChecked=perhaps\n")
    (dist / "kvlsetup.dat").write_text(head + "[FILELIST]\r\n" + items + tail)
    return dist


def test_broken_distribution_names_every_mistake_with_its_key(tmp_path):
    dist = broken_distribution(tmp_path / "dist")
    shutil.copyfile(BIN / "faulty_decorated.dll", dist / "defsetup.dll")
    status, result = checked_json(dist)
    assert status == 2 and result["status"] == 2
    found = problems(result)
    assert_named(found, "cbItem00", "ending in 'E', but the line installs it as DEMO.EXX")
    assert_named(found, "cbItem02", "TIDES.DA_ is already listed by cbItem01")
    assert_named(found, "cbItem03", "matches no file")
    assert_named(found, "cbItem04", "does not end with ';'")
    assert_named(found, "cbItem05", "setup reads only the first 259")
    assert_named(found, "cbItem06", "cut short")
    assert_named(found, "FILELIST", "at most 128")
    assert_named(found, "cbItem10", "is never read")
    assert_named(found, "cbItem07", "Program Files (x86)\\Harbour Atlas\\Deeper")
    assert_named(found, "cbItem07", "characters long; setup writes paths of 259 characters at most")
    assert_named(found, "PRODUCT cbDemoProgram", "DEMO.EXE, which no file-list line installs")
    assert_named(found, "PRODUCT cbConflict", '"overwrite", which the stock module does not know')
    assert_named(found, "PRODUCT cbFileEror", "did you mean cbFileError (whether the setup ends")
    assert_named(found, "PRODUCT cbAskFolder", '"yes", which the stock module does not know')
    assert_named(found, "GROUP cbItem03", "has 2 of the 5 fields")
    assert_named(found, "GROUP cbItem04", "no plain name")
    assert_named(found, "GROUP cbItem06", "is never read")
    assert_named(found, "INI cbItem02", "has 1 of the 4 fields")
    assert_named(found, "INI cbItem03", "a folder no file-list line installs into")
    assert_named(found, "INI cbItem04", "replaces only %DEST%")
    assert_named(found, "INI cbItem05", "in a second [INI]")
    assert_named(found, "REGISTRY cbItem00", "is the system's")
    assert_named(found, "REGISTRY cbItem01", "not 0 to 4294967295")
    assert_named(found, "ASSOC cbItem00", "type name that is no plain name with a dot")
    assert_named(found, "DESKTOP cbLink", "MISSING.EXE, which no file-list line installs")
    assert_named(found, "DESKTOP cbChecked", '"perhaps", which the stock module does not know')
    assert_named(found, "modlic.tx_", "only the first 15999")
    assert_named(found, "modlic.tx_", "not stored complemented")
    assert_named(found, "defsetup.dll", '"InitModule@16", but setup looks up "InitModule"')
    assert_named(found, "defsetup.dll", '"CreateShortCuts@0"')
    assert "InitModule" not in result["hooks"]


def test_check_names_a_module_built_without_static_and_a_misspelt_hook(tmp_path):
    # The same module built without -static, as a plain compiler command builds it.
    dist = broken_distribution(tmp_path / "dist")
    shutil.copyfile(BIN / "faulty_runtime.dll", dist / "defsetup.dll")
    found = problems(checked_json(dist)[1])
    assert_named(found, "defsetup.dll", "needs libgcc_s_dw2-1.dll")
    assert_named(found, "defsetup.dll", '"CreateShortCuts", which setup never calls: did you mean "CreateShortcuts"')


def test_check_names_a_demonstration_that_is_no_program_and_a_refused_folder(tmp_path):
    # A demonstration that is no program, in a folder the stock module refuses.
    dist = broken_distribution(tmp_path / "dist")
    shutil.copyfile(BIN / "faulty_runtime.dll", dist / "defsetup.dll")
    data = (dist / "kvlsetup.dat").read_text()
    (dist / "kvlsetup.dat").write_text(data.replace("cbDemoProgram=DEMO.EXE", "cbDemoProgram=README.TXT")
                                       .replace("cbFolder=Harbour Atlas", "cbFolder=Harbour:Atlas"))
    result = checked_json(dist)[1]
    assert result["destination"] == "C:\\Program Files\\KarveloEngine"
    assert_named(problems(result), "PRODUCT cbDemoProgram", "README.TXT, which is not a program")
    assert_named(problems(result), "PRODUCT cbFolder", "refused by the stock module")


def test_check_names_a_destination_only_the_module_knows_as_such(tmp_path):
    own = built(product(tmp_path / "own", module=BIN / "ownfolder.dll"), tmp_path / "own-dist")
    said = kvlship("check", own).stdout
    assert "Tiny installs into a folder chosen by the module at run time;" in said, said
    assert checked_json(own)[1]["destinationKnown"] is False
    given = checked_json(own, "--dest", "C:\\Own")[1]
    assert given["destinationKnown"] is True and given["destination"] == "C:\\Own"
    stock = checked_json(built(product(tmp_path / "stock"), tmp_path / "stock-dist"))[1]
    assert stock["destinationKnown"] is True, stock


def test_check_names_device_names_in_file_list_lines(tmp_path):
    dist = build_sample(tmp_path / "dist")
    for name in ("CON .TX_", "nul.tx_"):
        (dist / name).write_text("x")
    blank, nul, folder = add_lines(dist, "CON?.TX_, T, , 0, 0, 1, 0;", "nul.tx_, T, , 0, 0, 1, 0;",
                                   "README.TX_, T, Docs\\Com1, 0, 0, 1, 0;")
    found = problems(checked_json(dist)[1])
    assert_named(found, blank, "\"CON .TX_\", which is a device's name on Windows")
    assert_named(found, nul, "\"nul.tx_\", which is a device's name on Windows")
    assert_named(found, folder, "its sub-folder's name \"Com1\" is a device's name")


def test_check_names_a_module_that_registers_no_removal(tmp_path):
    # A module of its own, written to the contract before registration existed.
    dist = built(product(tmp_path / "src", files="A.TXT = a.txt\nSub\\B.TXT = a.txt\n",
                         module=BIN / "empty.dll"), tmp_path / "dist")
    found = problems(checked_json(dist)[1])
    assert_named(found, "defsetup.dll", "registers no removal: the product cannot be uninstalled")


def test_check_ends_on_a_pathological_pattern_devices_fifos_and_links(tmp_path):
    dist = build_sample(tmp_path / "dist")
    (dist / ("a" * 80)).write_text("x")
    os.symlink("/dev/zero", dist / "ZERO.BIN")
    os.mkfifo(dist / "FIFO.BIN")
    os.symlink("/usr", dist / "LINKED")
    stars, zero, fifo, linked = add_lines(
        dist, "*a*a*a*a*a*a*a*b, b, , 0, 0, 1, 0;", "ZERO.BIN, N, , 0, 0, 1, 0;",
        "FIFO.BIN, N, , 0, 0, 1, 0;", "LINKED, D, , 0, 0, 1, 0;")
    found = problems(checked_json(dist, timeout=30)[1])
    assert_named(found, stars, "matches no file")
    assert_named(found, zero, "a symbolic link")
    assert_named(found, fifo, "a device, FIFO or socket")
    assert_named(found, linked, "a symbolic link")


def test_check_refuses_a_truncated_module(tmp_path):
    dist = build_sample(tmp_path / "dist")
    module = (BIN / "stock.dll").read_bytes()
    (dist / "defsetup.dll").write_bytes(module[: len(module) // 2])
    found = problems(checked_json(dist)[1])
    assert_named(found, "defsetup.dll", "cut short")


def test_check_never_prints_a_files_name_raw(tmp_path):
    dist = build_sample(tmp_path / "dist")
    (dist / "\x1b[2J\x1b[HREADME.TX_").write_text("x")
    shown = kvlship("check", dist).stdout
    assert "\x1b" not in shown and "\\x1b[2J\\x1b[HREADME.TX_ ships" in shown
