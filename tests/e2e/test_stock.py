"""The stock module (modules/stock) end to end: a product described only by
kvlsetup.dat is installed by the real setup.exe with stock.dll as
defsetup.dll, and what landed on disk is read back: the files in the chosen
folder, the program group's links (through the independent lnkinfo), the
settings file and how the demonstration was started."""

import re

from harness import lnk_fields, windows_path


def program_group(scenario, name):
    """The group folder in a Start menu of the scenario's Wine prefix."""
    found = scenario.program_groups(name)
    assert len(found) == 1, f"program group {name!r}: {found}"
    return found[0]


def drive_c_path(scenario, path):
    return "C:\\" + str(path.relative_to(scenario.prefix / "drive_c")).replace("/", "\\")


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
    # A demonstration that is no program is named, not started.
    stock_product(scenario, {"cbFolder": "..", "cbConflict": "keep",
                             "cbDemoProgram": "README.TXT"}, group={
        "cbName": "Atlas",
        "cbItem00": "Escape|..\\..\\DEMO.EXE||.|out",
        "cbItem01": "Read Me|README.TXT||..|out",
        "cbItem02": "Demo|DEMO.EXE||.|in",
    }, ini=["..\\ESCAPE.INI|Atlas|Home|%DEST%", "ATLAS.INI|Atlas|Home|%DEST%"])
    dest = scenario.dest / "KarveloEngine"
    readme = old_readme(dest)
    scenario.start(None)
    scenario.agree()
    box = scenario.wait_message_box(timeout=40)
    scenario.screenshot("not-a-program")
    assert "README.TXT is not a program" in box["text"], scenario.report("demonstration")
    scenario.press_button(box, "OK")
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
    # Undone: the readme copied before, and the folders made for the product.
    # No shortcut to a file that is not there, no settings, no demonstration.
    assert scenario.tree() == [], scenario.tree()
    assert not scenario.program_groups("Atlas")


def test_the_group_is_all_users_when_setup_runs_as_administrator_unless_set(scenario):
    # Wine runs setup as an administrator: the group goes into the Start menu
    # of all users, cbFor=user puts it in the user's own; the record names
    # each, so that the removal takes both.
    product = {"cbFolder": "Atlas", "cbId": "Atlas", "cbConflict": "keep"}
    group = {"cbName": "Atlas", "cbItem00": "Demo|DEMO.EXE||.|demo"}
    stock_product(scenario, product, group=group)
    scenario.add_file("uninst.exe", (scenario.bin / "uninst.exe").read_bytes())
    assert scenario.run("/VERYSILENT", timeout=90) == 0, scenario.report("setup")
    common = scenario.shell_folder("HKLM", "Common Programs") / "Atlas"
    assert scenario.program_groups("Atlas") == [common], scenario.program_groups("Atlas")

    stock_product(scenario, product, group={**group, "cbFor": "user"})
    assert scenario.run("/VERYSILENT", timeout=90) == 0, scenario.report("setup")
    own = scenario.shell_folder("HKCU", "Programs") / "Atlas"
    assert sorted(scenario.program_groups("Atlas")) == sorted([common, own])
    assert [p.name for p in own.iterdir()] == ["Demo.lnk"]
    record = (scenario.dest / "Atlas" / "uninst.dat").read_text()
    for folder in (common, own):
        assert f"group\t{drive_c_path(scenario, folder)}" in record.splitlines(), record

    key = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Atlas"
    quiet = scenario.registry_values(key)["QuietUninstallString"][1]
    assert scenario.run(cmdline=quiet, timeout=90) == 0, scenario.report("uninst.exe")
    scenario.wait_until(lambda: not scenario.program_groups("Atlas"), 30,
                        lambda: f"left: {scenario.program_groups('Atlas')}")


def test_a_module_of_its_own_over_the_stock_kit(scenario):
    # modules/example: one question (the samples) and a folder of its own;
    # cbFolder is not its to read.
    stock_product(scenario, {"cbFolder": "Not Read", "cbDemoProgram": "DEMO.EXE"},
                  group={"cbName": "Orbit", "cbItem00": "Orbit|DEMO.EXE||.|demo"})
    scenario.add_module("defsetup", dll="example.dll")
    scenario.add_compressed("ORION.SK_", b"The stars of Orion\r\n" * 3)
    scenario.add_file("LYRA.SK_", "Lyra\r\n")
    scenario.start(None)
    scenario.agree()
    box = scenario.wait_message_box(timeout=40)
    assert "Install the sample sky charts" in box["text"], scenario.report("question")
    scenario.screenshot("samples-question")
    scenario.press_button(box, "Yes")
    scenario.wait_success()
    dest = scenario.dest / "Orbit Works" / "Orbit Viewer"
    scenario.wait_demo_launch(dest)
    assert scenario.tree(dest) == ["DEMO.EXE", "Demos/", "Demos/HARBOUR.TXT", "README.TXT",
                                   "Samples/", "Samples/LYRA.SKY", "Samples/ORION.SKY",
                                   "demo-launch.txt"], scenario.tree()
    assert (dest / "Samples" / "ORION.SKY").read_bytes() == b"The stars of Orion\r\n" * 3
    link = lnk_fields(program_group(scenario, "Orbit") / "Orbit.lnk")
    assert link["Local path"] == windows_path(dest / "DEMO.EXE"), link


def test_a_folder_another_product_is_installed_in_is_refused_before_anything_is_copied(scenario):
    tools = scenario.dest / "Tools"
    scenario.registered_stock_product("Atlas", "1.0", ["A.TXT"])
    assert scenario.run(f'/VERYSILENT /DIR="{windows_path(tools)}"', timeout=90) == 0
    record = (tools / "uninst.dat").read_bytes()
    scenario.registered_stock_product("Peer Tool", "1.0", ["P.TXT"])
    scenario.start(f'/DIR="{windows_path(tools)}"')
    scenario.agree()
    box = scenario.wait_message_box(timeout=40)
    assert f"into {windows_path(tools)}: Atlas is installed there" in box["text"], \
        scenario.report("message")
    scenario.press_button(box, "OK")
    scenario.wait_end("module")
    # Atlas keeps its uninstaller's record; nothing of the other product landed.
    assert (tools / "uninst.dat").read_bytes() == record
    assert not (tools / "P.TXT").exists(), scenario.tree(tools)


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


def folder_dialog(scenario):
    """The stock module's folder dialog, once it is shown: the window and its
    controls' texts by class."""
    def shown():
        windows = scenario.windows()
        for dialog in windows.find(text="KARVELO SETUP", top_level=True, visible=True):
            inner = windows.descendants(dialog)
            if any(w["text"] == "&Browse..." for w in inner):
                return dialog, inner
        return None
    return scenario.wait_until(shown, 40, "the folder dialog was not shown")


def test_the_folder_typed_in_the_dialog_is_installed_and_removed_there(scenario):
    stock_product(scenario, {"cbFolder": "Atlas", "cbTitle": "Atlas", "cbId": "Atlas",
                             "cbAskFolder": "1"})
    scenario.add_file("uninst.exe", (scenario.bin / "uninst.exe").read_bytes())
    chosen = scenario.dest / "Elsewhere" / "My Atlas"
    scenario.start(None)
    scenario.agree()
    dialog, inner = folder_dialog(scenario)
    scenario.screenshot("folder")
    texts = [w["text"] for w in inner]
    assert windows_path(scenario.dest / "Atlas") in texts, scenario.report("the proposed folder")
    assert any(re.match(r"Space needed: \d", t) for t in texts), texts
    assert any(re.match(r"Space free on Z:\\: \d", t) for t in texts), texts
    right, bottom = dialog["rect"][2] - dialog["rect"][0], dialog["rect"][3] - dialog["rect"][1]
    assert right <= 600 and bottom <= 420, dialog["rect"]

    # A drive alone is refused, and the dialog stays for another try.
    scenario.focus(dialog)
    scenario.keys("End", "shift+Home", "BackSpace")
    scenario.type_text("C:\\")
    # The space is counted again for the folder typed.
    scenario.wait_until(lambda: any(w["text"].startswith("Space free on C:\\: ")
                                    for w in folder_dialog(scenario)[1]), 10,
                        "the free space was not shown for C:")
    scenario.keys("Return")
    box = scenario.wait_message_box()
    assert box["text"].startswith("C:\\ is a whole drive."), scenario.report("refusal")
    scenario.press_button(box, "OK")
    dialog, _ = folder_dialog(scenario)
    scenario.focus(dialog)
    scenario.keys("End", "shift+Home", "BackSpace")
    scenario.type_text(windows_path(chosen))
    scenario.keys("Return")
    scenario.wait_success()

    assert not (scenario.dest / "Atlas").exists(), scenario.tree()
    assert scenario.tree(chosen) == ["DEMO.EXE", "Demos/", "Demos/HARBOUR.TXT", "README.TXT",
                                     "uninst.dat", "uninst.exe"], scenario.tree(chosen)
    key = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Atlas"
    quiet = scenario.registry_values(key)["QuietUninstallString"][1]
    assert quiet.startswith(f'"{windows_path(chosen)}\\uninst.exe"'), quiet
    assert scenario.run(cmdline=quiet, timeout=90) == 0, scenario.report("uninstall")
    assert not chosen.exists(), scenario.tree()
    assert scenario.registry_values(key) is None


def test_cancel_in_the_folder_dialog_ends_the_setup_as_declined(scenario):
    stock_product(scenario, {"cbFolder": "Atlas", "cbAskFolder": "1"})
    scenario.start(None)
    scenario.agree()
    dialog, inner = folder_dialog(scenario)
    cancel, = [w for w in inner if w["text"] == "Cancel"]
    scenario.mouse_click(*cancel.centre())
    scenario.wait_end("declined")
    assert scenario.tree() == [], scenario.tree()


def test_yes_to_all_and_no_to_all_answer_every_later_question(scenario):
    # An upgrade over three changed files: one answer stands for all three,
    # a second question would keep setup waiting.
    scenario.add_module("defsetup", dll="stock.dll")
    names = ["A.TXT", "B.TXT", "C.TXT"]
    for name in names:
        scenario.add_file(name, f"{name}, version 2\r\n")
    scenario.write_setup_data(title="Atlas", items=[f"{name}, T, , 0, 0, 0, 0;" for name in names],
                              extra={"PRODUCT": {"cbFolder": "Atlas", "cbTitle": "Atlas"}})
    scenario.program_files()
    dest = scenario.dest / "Atlas"
    dest.mkdir(parents=True)
    for name in names:
        (dest / name).write_bytes(b"changed by the user\r\n")
    for answer, kept in (("No to All", True), ("Yes to All", False)):
        scenario.start(None)
        main = scenario.main_window()
        scenario.agree()
        box = scenario.wait_message_box(timeout=40)
        assert [b.replace("&", "") for b in box["buttons"]] == \
            ["Yes", "Yes to All", "No", "No to All", "Cancel"], scenario.report("buttons")
        assert box["caption"] == "Atlas" and windows_path(dest / "A.TXT") in box["text"]
        assert int(box["owner"], 16) == int(main["hwnd"], 16), scenario.report("owner")
        scenario.screenshot(answer.replace(" ", "-").lower())
        scenario.press_button(box, answer)
        scenario.wait_success()
        contents = [(dest / name).read_bytes() for name in names]
        assert contents == [b"changed by the user\r\n" if kept else
                            f"{name}, version 2\r\n".encode() for name in names], (answer, contents)


TIDEWATCH_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tidewatch"


def tidewatch(scenario, **sections):
    """A registered product of one program, TIDE.EXE, with the stock
    sections `sections`; returns where it installs without /DIR=."""
    scenario.add_module("defsetup", dll="stock.dll")
    scenario.add_file("uninst.exe", (scenario.bin / "uninst.exe").read_bytes())
    scenario.add_compressed("TIDE.EX_", (scenario.bin / "demo.exe").read_bytes())
    scenario.write_setup_data(title="Tidewatch", items=["TIDE.EX_, E, , 0, 0, 1, 0;"], extra={
        "PRODUCT": {"cbFolder": "Tidewatch", "cbTitle": "Tidewatch", "cbId": "Tidewatch",
                    "cbVersion": "1.0", "cbPublisher": "Karvelo"}, **sections})
    scenario.program_files()
    return scenario.dest / "Tidewatch"


def remove_tidewatch(scenario):
    quiet = scenario.registry_values(TIDEWATCH_KEY)["QuietUninstallString"][1]
    log = scenario.logs / "uninstall.log"
    assert scenario.run(cmdline=f'{quiet} /LOG="{windows_path(log)}"', timeout=90) == 0, \
        scenario.report("uninst.exe")
    return log.read_text(errors="replace")


def test_registry_values_and_a_file_type_are_written_and_taken_back(scenario):
    # Taken back: what the installation created and still holds what it
    # wrote. Kept: a value that was there before, one the user changed, and
    # the keys that hold them.
    tides = r"Software\Karvelo Tides"
    dest = tidewatch(scenario, REGISTRY={
        "cbItem00": rf"HKLM|{tides}\Tidewatch|InstallDir|string|%DEST%",
        "cbItem01": rf"HKCU|{tides}\Tidewatch|Charts|number|12",
        "cbItem02": rf"HKLM|{tides}\Shared|Kept|string|ours",
        "cbItem03": rf"HKCU|{tides}\Tidewatch|Edited|string|first",
        "cbItem04": r"HKLM|Software\Microsoft\Windows\CurrentVersion\Run|Tides|string|x"},
        ASSOC={"cbItem00": ".tdw|Karvelo.Tidewatch|Tidewatch chart|TIDE.EXE|",
               "cbItem01": ".tdx|Karvelo.Tidewatch|Tidewatch chart|TIDE.EXE|"})
    scenario.set_registry(rf"HKLM\{tides}\Shared", "Kept", "theirs")
    classes = r"HKLM\Software\Classes"
    # An extension another program's type has already stays that type's.
    scenario.wine("reg", "add", rf"{classes}\.tdx", "/ve", "/d", "Other.Type", "/f")
    other = {"(Default)": ("REG_SZ", "Other.Type")}
    assert scenario.run("/VERYSILENT", timeout=90) == 0, scenario.report("setup")
    home = windows_path(dest)
    assert scenario.registry_values(rf"HKLM\{tides}\Tidewatch") == \
        {"InstallDir": ("REG_SZ", home)}
    assert scenario.registry_values(rf"HKCU\{tides}\Tidewatch") == \
        {"Charts": ("REG_DWORD", "0xc"), "Edited": ("REG_SZ", "first")}
    assert "Tides" not in (scenario.registry_values(
        r"HKLM\Software\Microsoft\Windows\CurrentVersion\Run") or {})
    assert scenario.registry_values(rf"{classes}\.tdx") == other
    assert scenario.registry_values(rf"{classes}\.tdw") == \
        {"(Default)": ("REG_SZ", "Karvelo.Tidewatch")}
    assert scenario.registry_values(rf"{classes}\Karvelo.Tidewatch\shell\open\command") == \
        {"(Default)": ("REG_SZ", f'"{home}\\TIDE.EXE" "%1"')}
    assert scenario.registry_values(rf"{classes}\Karvelo.Tidewatch\DefaultIcon") == \
        {"(Default)": ("REG_SZ", f"{home}\\TIDE.EXE,0")}
    assert (dest / "uninst.dat").read_bytes().startswith(b"KARVELO-UNINSTALL\t3\r\n")

    scenario.wine("reg", "add", rf"HKCU\{tides}\Tidewatch", "/v", "Edited", "/d", "mine", "/f")
    log = remove_tidewatch(scenario)
    assert scenario.registry_values(rf"HKLM\{tides}\Tidewatch") is None, log
    assert scenario.registry_values(rf"HKCU\{tides}\Tidewatch") == {"Edited": ("REG_SZ", "mine")}
    assert scenario.registry_values(rf"HKLM\{tides}\Shared") == {"Kept": ("REG_SZ", "ours")}
    assert scenario.registry_values(rf"{classes}\.tdw") is None, log
    assert scenario.registry_values(rf"{classes}\Karvelo.Tidewatch") is None, log
    assert scenario.registry_values(rf"{classes}\.tdx") == other
    assert "Edited]: kept, changed since installation" in log, log


def test_the_desktop_shortcut_is_offered_and_the_answer_stands(scenario):
    dest = tidewatch(scenario, DESKTOP={"cbLink": "Tidewatch|TIDE.EXE||.|Tide tables"})
    link = scenario.shell_folder("HKLM", "Common Desktop") / "Tidewatch.lnk"
    for cleared in (True, False):
        scenario.start(None)
        scenario.agree()
        box = scenario.wait_message_box(timeout=40)
        assert "Setup can put a shortcut to Tidewatch on the desktop." in box["text"], \
            scenario.report("offer")
        assert [b.replace("&", "") for b in box["buttons"]] == \
            ["Put a shortcut on the desktop", "Continue"], box["buttons"]
        scenario.screenshot("desktop-" + ("cleared" if cleared else "set"))
        if cleared:
            scenario.press_button(box, "Put a shortcut on the desktop")
        scenario.press_button(box, "Continue")
        scenario.wait_success()
        assert link.exists() != cleared, (cleared, scenario.tree(link.parent))
    assert lnk_fields(link)["Local path"] == windows_path(dest / "TIDE.EXE")
    record = (dest / "uninst.dat").read_text()
    assert f"\t{drive_c_path(scenario, link)}" in record, record
    remove_tidewatch(scenario)
    assert not link.exists()
    # Silently the caller answers: /NODESKTOP leaves it out.
    tidewatch(scenario, DESKTOP={"cbLink": "Tidewatch|TIDE.EXE||.|Tide tables"})
    assert scenario.run("/VERYSILENT /NODESKTOP", timeout=90) == 0, scenario.report("setup")
    assert (dest / "TIDE.EXE").exists() and not link.exists()


def test_an_earlier_installations_folder_is_proposed_again_and_goes_with_it(scenario):
    dest = tidewatch(scenario)
    chosen = scenario.dest / "Tools" / "Tides"
    assert scenario.run(f'/VERYSILENT /DIR="{windows_path(chosen)}"', timeout=90) == 0
    log = scenario.logs / "setup-again.log"
    assert scenario.run(f'/VERYSILENT /LOG="{windows_path(log)}"', timeout=90) == 0
    assert f"destination: the earlier installation's folder, {windows_path(chosen)}" in \
        log.read_text(errors="replace"), log.read_text(errors="replace")
    assert not dest.exists() and (chosen / "TIDE.EXE").exists()
    remove_tidewatch(scenario)
    assert not chosen.exists(), scenario.tree()
