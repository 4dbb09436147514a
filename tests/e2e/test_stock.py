"""The stock module (modules/stock) end to end: a product described only by
kvlsetup.dat is installed by the real setup.exe with stock.dll as
defsetup.dll, and what landed on disk is read back: the files in the chosen
folder, the program group's links (through the independent lnkinfo), the
settings file and how the demonstration was started."""

import re

from harness import lnk_fields, windows_path


def program_group(scenario, name):
    """The group folder in the Start menu of the scenario's Wine prefix."""
    found = list(scenario.prefix.glob(f"drive_c/users/*/**/Start Menu/Programs/{name}"))
    assert len(found) == 1, f"program group {name!r}: {found}"
    return found[0]


def stock_product(scenario, product, group=None, ini=None):
    """A small product with stock.dll as the default module: the readme
    exists already and is not replaced without asking."""
    scenario.add_module("defsetup", dll="stock.dll")
    scenario.add_compressed("README.TX_", b"Read me, version 2\r\n")
    scenario.add_compressed("DEMO.EX_", (scenario.bin / "demo.exe").read_bytes())
    scenario.add_file("HARBOUR.TXT", "The harbour\r\n")
    extra = {"PRODUCT": product}
    if group:
        extra["GROUP"] = group
    if ini:
        extra["INI"] = {f"cbItem{i:02d}": item for i, item in enumerate(ini)}
    scenario.write_setup_data(title="Atlas", items=[
        "README.TX_, T, , 0, 0, 0, 0;",
        "DEMO.EX_, E, , 0, 0, 1, 0;",
        "HARBOUR.TXT, T, Demos, 0, 0, 1, 0;",
    ], extra=extra)
    scenario.program_files()


def old_readme(folder):
    path = folder / "README.TXT"
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(b"the old readme\r\n")
    return path


def test_product_described_by_its_settings_is_installed(scenario):
    stock_product(scenario, {
        "cbFolder": "Harbour Atlas",
        "cbTitle": "Harbour Atlas 2.1",
        "cbConflict": "ask",
        "cbDemoProgram": "DEMO.EXE",
        "cbDemoDocument": "HARBOUR.TXT",
    }, group={
        "cbName": "Harbour Atlas",
        "cbItem00": "Harbour Atlas Demo|DEMO.EXE|HARBOUR.TXT|Demos|Harbour Atlas demonstration",
        "cbItem01": "Read Me | README.TXT | /view | . | About Harbour Atlas",
    }, ini=["ATLAS.INI|Atlas|Home|%DEST%", "ATLAS.INI|Atlas|Version|2.1"])
    dest = scenario.dest / "Harbour Atlas"
    readme = old_readme(dest)
    scenario.start(None)
    main = scenario.main_window()
    assert main["text"] == "KARVELO Setup [Harbour Atlas 2.1] ", scenario.report("caption")
    scenario.agree()

    box = scenario.wait_message_box(timeout=40)
    scenario.screenshot("conflict")
    assert box["caption"] == "Harbour Atlas 2.1"
    assert windows_path(readme) in box["text"], scenario.report("question")
    assert int(box["owner"], 16) == int(main["hwnd"], 16), scenario.report("owner")
    scenario.press_button(box, "Yes")
    scenario.wait_success()

    assert scenario.tree() == ["Harbour Atlas/", "Harbour Atlas/ATLAS.INI",
                               "Harbour Atlas/DEMO.EXE", "Harbour Atlas/Demos/",
                               "Harbour Atlas/Demos/HARBOUR.TXT", "Harbour Atlas/README.TXT",
                               "Harbour Atlas/demo-launch.txt"], scenario.tree()
    assert readme.read_bytes() == b"Read me, version 2\r\n"
    home = windows_path(dest)
    ini = (dest / "ATLAS.INI").read_text()
    assert re.search(rf"^Home={re.escape(home)}\r?$", ini, re.M), ini
    assert re.search(r"^Version=2\.1\r?$", ini, re.M), ini

    group = program_group(scenario, "Harbour Atlas")
    assert sorted(p.name for p in group.iterdir()) == ["Harbour Atlas Demo.lnk", "Read Me.lnk"]
    demo = lnk_fields(group / "Harbour Atlas Demo.lnk")
    assert demo == {"Local path": f"{home}\\DEMO.EXE", "Description": "Harbour Atlas demonstration",
                    "Command line arguments": "HARBOUR.TXT",
                    "Working directory": f"{home}\\Demos"}, demo
    read_me = lnk_fields(group / "Read Me.lnk")
    assert read_me == {"Local path": f"{home}\\README.TXT", "Description": "About Harbour Atlas",
                       "Command line arguments": "/view", "Working directory": home}, read_me

    command, cwd = scenario.wait_demo_launch(dest)
    assert command == f'"{home}\\DEMO.EXE" {home}\\Demos\\HARBOUR.TXT', command
    assert cwd.rstrip("\\") == home, cwd


def test_paths_that_leave_the_destination_are_refused(scenario):
    # ".." as the folder would install beside Program Files; an item that
    # leaves the destination is skipped and the others still land.
    stock_product(scenario, {"cbFolder": "..", "cbConflict": "keep"}, group={
        "cbName": "Atlas",
        "cbItem00": "Escape|..\\..\\DEMO.EXE||.|out",
        "cbItem01": "Read Me|README.TXT||..|out",
        "cbItem02": "Demo|DEMO.EXE||.|in",
    }, ini=["..\\ESCAPE.INI|Atlas|Home|%DEST%", "ATLAS.INI|Atlas|Home|%DEST%"])
    dest = scenario.dest / "KarveloEngine"
    readme = old_readme(dest)
    scenario.start(None)
    scenario.agree()
    scenario.wait_success()

    assert scenario.tree() == ["KarveloEngine/", "KarveloEngine/ATLAS.INI",
                               "KarveloEngine/DEMO.EXE", "KarveloEngine/Demos/",
                               "KarveloEngine/Demos/HARBOUR.TXT", "KarveloEngine/README.TXT"]
    assert readme.read_bytes() == b"the old readme\r\n"
    assert [p.name for p in program_group(scenario, "Atlas").iterdir()] == ["Demo.lnk"]


def test_a_damaged_file_is_named_and_ends_the_setup(scenario):
    # A nested folder, as vendors name theirs.
    stock_product(scenario, {"cbFolder": "Harbour\\Atlas", "cbDemoProgram": "DEMO.EXE",
                             "cbDemoDocument": "HARBOUR.TXT"},
                  group={"cbName": "Atlas", "cbItem00": "Demo|DEMO.EXE||.|demo"},
                  ini=["ATLAS.INI|Atlas|Home|%DEST%"])
    # The demonstration cut inside its compressed data.
    packed = (scenario.src / "DEMO.EX_").read_bytes()
    scenario.add_file("DEMO.EX_", packed[:len(packed) // 2])
    scenario.start(None)
    scenario.agree()
    box = scenario.wait_message_box(timeout=40)
    dest = scenario.dest / "Harbour" / "Atlas"
    text = box["texts"][0]
    assert text.startswith(f"{windows_path(dest / 'DEMO.EXE')} could not be installed."), text
    assert "Setup will end now" in text, text
    scenario.press_button(box, "OK")
    scenario.wait_end("file-failed")
    # No shortcut to a file that is not there, no settings, no demonstration.
    assert scenario.tree(dest) == ["Demos/", "README.TXT"], scenario.tree(dest)
    assert not list(scenario.prefix.glob("drive_c/users/*/**/Start Menu/Programs/Atlas"))


def test_stored_files_install_beside_same_named_ones_and_into_folders_with_blanks(scenario):
    # Two index.dat in two folders share no stored name, and no data-file
    # line can spell "User Manuals": [STORED] installs them by request,
    # before the conflict scan, so cbConflict reaches them too.
    scenario.add_module("defsetup", dll="stock.dll")
    scenario.add_compressed("INDEX.DA_", b"the first index\r\n")
    scenario.add_compressed("INDEX_2.DA_", b"the second index\r\n")
    scenario.add_file("GUIDE.TXT", "the guide\r\n")
    scenario.write_setup_data(title="Atlas", items=["INDEX.DA_, T, One, 0, 0, 0, 0;"], extra={
        "PRODUCT": {"cbFolder": "Atlas", "cbConflict": "replace"},
        "STORED": {"cbItem00": "INDEX_2.DA_|Two\\index.dat|0",
                   "cbItem01": "GUIDE.TXT | Docs\\User Manuals\\Guide.txt | 0",
                   "cbItem02": "GUIDE.TXT|..\\OUT.TXT|1"}})
    scenario.program_files()
    existing = scenario.dest / "Atlas" / "Two" / "index.dat"
    existing.parent.mkdir(parents=True)
    existing.write_bytes(b"the old index\r\n")
    scenario.start(None)
    scenario.agree()
    scenario.wait_success()
    assert scenario.tree() == ["Atlas/", "Atlas/Docs/", "Atlas/Docs/User Manuals/",
                               "Atlas/Docs/User Manuals/Guide.txt", "Atlas/One/",
                               "Atlas/One/INDEX.DAT", "Atlas/Two/", "Atlas/Two/index.dat"], \
        scenario.tree()
    assert (scenario.dest / "Atlas" / "One" / "INDEX.DAT").read_bytes() == b"the first index\r\n"
    assert existing.read_bytes() == b"the second index\r\n"
    assert (scenario.dest / "Atlas" / "Docs" / "User Manuals" / "Guide.txt").read_bytes() == \
        b"the guide\r\n"
