"""kvlship as a vendor uses it: build a distribution from a manifest, check
it, try it under Wine; and a distribution with every mistake a vendor makes,
which check must name, key by key. Then what a careless or hostile folder,
module or manifest does to the tool itself."""
import copy
import hashlib
import json
import os
import shutil
import subprocess
import zipfile
from pathlib import Path

import jsonschema
import pytest
import yaml

ROOT = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("BUILD_DIR", ROOT / "build")).absolute()
BIN = BUILD / "bin"
WINGET_SCHEMA = Path(__file__).parent / "winget" / "manifest.singleton.1.10.0.json"


def kvlship(*args, timeout=120, env=None):
    return subprocess.run([str(BIN / "kvlship"), *map(str, args)], capture_output=True, text=True,
                          timeout=timeout, stdin=subprocess.DEVNULL, env=env)


def build_sample(out):
    done = kvlship("build", ROOT / "sample" / "atlas.manifest", out, "-D", f"BIN={BIN}",
                   "--engine", BIN)
    assert done.returncode == 0, done.stderr
    return out


def files_of(folder):
    return {p.name: p.read_bytes() for p in sorted(folder.iterdir())}


def problems(result):
    return {(p["key"], p["text"]) for p in result["problems"]}


def assert_named(found, key, fragment):
    assert any(k == key and fragment in text for k, text in found), \
        f"no problem for {key} with {fragment!r} in:\n" + "\n".join(map(str, sorted(found)))


def test_sample_builds_the_same_bytes_checks_clean_and_installs_under_trial(tmp_path):
    first = build_sample(tmp_path / "first")
    second = build_sample(tmp_path / "second")
    assert files_of(first) == files_of(second)
    assert files_of(tmp_path / "first.winget") == files_of(tmp_path / "second.winget")
    # The package's identity reaches the stock module, which registers the product with it.
    product = (first / "kvlsetup.dat").read_text().split("[PRODUCT]")[1].split("[")[0]
    assert "cbId=Harbour.Atlas" in product and "cbVersion=2.1" in product, product

    checked = kvlship("check", first, "--json")
    result = json.loads(checked.stdout)
    assert checked.returncode == 0, result["problems"]
    assert result["destination"] == "C:\\Program Files\\Harbour Atlas"
    installed = {f["installed"]: f for f in result["files"]}
    assert len(installed) == 8
    demo = installed["C:\\Program Files\\Harbour Atlas\\DEMO.EXE"]
    assert demo["compressed"] and demo["size"] == (BIN / "demo.exe").stat().st_size

    tried = kvlship("try", first, "--work", tmp_path / "trial", "--engine", BIN, "--json",
                    timeout=400)
    report = json.loads(tried.stdout)
    assert tried.returncode == 0 and report["passed"], tried.stdout
    by_path = {f["path"]: f for f in report["installed"]}
    for planned in installed:
        assert planned in by_path
    assert "C:\\Program Files\\Harbour Atlas\\ATLAS.INI" in by_path
    landed = by_path["C:\\Program Files\\Harbour Atlas\\DEMO.EXE"]
    assert landed["size"] == (BIN / "demo.exe").stat().st_size
    folders = {Path(s["path"].replace("\\", "/")).stem: s["workingFolder"]
               for s in report["shortcuts"]}
    assert folders["Harbour Atlas Demo"] == "C:\\Program Files\\Harbour Atlas\\Demos"
    assert folders["Read Me"] == "C:\\Program Files\\Harbour Atlas"
    assert report["demoCommand"].endswith("Demos\\HARBOUR.TXT")
    assert report["demoFolder"].rstrip("\\") == "C:\\Program Files\\Harbour Atlas"
    assert len(report["screenshots"]) >= 4
    # Then the product is removed, by what it registered, and nothing stays.
    assert [u["exitCode"] for u in report["uninstall"]] == [0], report["uninstall"]
    assert report["leftBehind"] == []


def test_sample_package_is_a_valid_manifest_for_a_zip_of_the_distribution(tmp_path):
    dist = build_sample(tmp_path / "dist")
    package = tmp_path / "dist.winget"
    manifest = yaml.safe_load((package / "Harbour.Atlas.yaml").read_text(encoding="utf-8"))
    schema = json.loads(WINGET_SCHEMA.read_text())
    jsonschema.validate(manifest, schema)
    for bad in ({"PackageIdentifier": "Harbour Atlas"}, {"InstallerSha256": None}):
        edited = copy.deepcopy(manifest)
        for key, value in bad.items():
            where = edited if key in edited else edited["Installers"][0]
            if value is None:
                del where[key]
            else:
                where[key] = value
        with pytest.raises(jsonschema.ValidationError):
            jsonschema.validate(edited, schema)

    archive = package / "Harbour.Atlas-2.1.zip"
    installer = manifest["Installers"][0]
    assert installer["InstallerSha256"].lower() == hashlib.sha256(archive.read_bytes()).hexdigest()
    assert installer["NestedInstallerFiles"] == [{"RelativeFilePath": "setup.exe"}]
    assert {"InstallerReturnCode": 9,
            "ReturnResponse": "diskFull"} in installer["ExpectedReturnCodes"]
    # Files in use replaced at the restart: installed, but not finished yet.
    codes = {c["InstallerReturnCode"]: c["ReturnResponse"] for c in
             installer["ExpectedReturnCodes"]}
    assert codes[3010] == "rebootRequiredToFinish", codes
    # The entry the stock module registers the product under.
    assert installer["AppsAndFeaturesEntries"] == [
        {"ProductCode": "Harbour.Atlas", "Publisher": "Harbour Charts", "DisplayVersion": "2.1"}]
    shipped = files_of(dist)
    del shipped["kvlbuild.lst"]
    with zipfile.ZipFile(archive) as zipped:
        assert zipped.testzip() is None
        assert {name: zipped.read(name) for name in zipped.namelist()} == shipped


def test_single_file_package_carries_the_products_version_beside_an_unchanged_folder(tmp_path):
    import pefile

    plain = build_sample(tmp_path / "plain")
    built = kvlship("build", ROOT / "sample" / "atlas.manifest", tmp_path / "dist", "-D",
                    f"BIN={BIN}", "--engine", BIN, "--package", "Atlas.exe")
    assert built.returncode == 0, built.stderr
    assert files_of(tmp_path / "dist") == files_of(plain)
    package = tmp_path / "Atlas.exe"
    pe = pefile.PE(str(package))
    assert pe.FILE_HEADER.Characteristics & 0x2000 == 0  # a program, not a DLL
    assert pe.OPTIONAL_HEADER.Subsystem == 2  # GUI
    assert pe.OPTIONAL_HEADER.CheckSum == pe.generate_checksum() != 0
    strings = {k.decode(): v.decode() for info in pe.FileInfo[0] if info.Key == b"StringFileInfo"
               for table in info.StringTable for k, v in table.entries.items()}
    assert strings == {"CompanyName": "Harbour Charts", "ProductName": "Harbour Atlas",
                       "ProductVersion": "2.1", "FileVersion": "2.1", "InternalName": "Atlas",
                       "OriginalFilename": "Atlas.exe",
                       "FileDescription": "Sea charts, ports and tides of the harbour, with a "
                                          "guided tour"}
    assert pe.VS_FIXEDFILEINFO[0].FileVersionMS == 0x00020001
    # setup.exe keeps the engine's own version information.
    assert (tmp_path / "dist" / "setup.exe").read_bytes() == (BIN / "setup.exe").read_bytes()
    # The payload is smaller than the folder it carries.
    assert package.stat().st_size < sum(len(b) for b in files_of(plain).values())

    # A build replaces its own package with the same bytes; nothing else of that name.
    again = kvlship("build", ROOT / "sample" / "atlas.manifest", tmp_path / "dist", "-D",
                    f"BIN={BIN}", "--engine", BIN, "--package", "Atlas.exe")
    assert again.returncode == 0, again.stderr
    assert package.read_bytes() == pe.__data__[:]
    (tmp_path / "Mine.exe").write_bytes(b"the vendor's own program")
    for name, fragment in (("Mine.exe", "no package that kvlship wrote"),
                           ("sub/Atlas.exe", "plain file name"), ("Atlas.zip", "ending in .exe")):
        refused = kvlship("build", ROOT / "sample" / "atlas.manifest", tmp_path / "other", "-D",
                          f"BIN={BIN}", "--engine", BIN, "--package", name)
        assert refused.returncode == 2 and fragment in refused.stderr, (name, refused.stderr)
    assert (tmp_path / "Mine.exe").read_bytes() == b"the vendor's own program"


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
    checked = kvlship("check", dist, "--json")
    result = json.loads(checked.stdout)
    assert checked.returncode == 2 and result["status"] == 2
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

    # The same module built without -static, as a plain compiler command builds it.
    shutil.copyfile(BIN / "faulty_runtime.dll", dist / "defsetup.dll")
    found = problems(json.loads(kvlship("check", dist, "--json").stdout))
    assert_named(found, "defsetup.dll", "needs libgcc_s_dw2-1.dll")
    assert_named(found, "defsetup.dll", '"CreateShortCuts", which setup never calls: did you mean "CreateShortcuts"')

    # A demonstration that is no program, in a folder the stock module refuses.
    data = (dist / "kvlsetup.dat").read_text()
    (dist / "kvlsetup.dat").write_text(data.replace("cbDemoProgram=DEMO.EXE", "cbDemoProgram=README.TXT")
                                       .replace("cbFolder=Harbour Atlas", "cbFolder=Harbour:Atlas"))
    result = json.loads(kvlship("check", dist, "--json").stdout)
    assert result["destination"] == "C:\\Program Files\\KarveloEngine"
    assert_named(problems(result), "PRODUCT cbDemoProgram", "README.TXT, which is not a program")
    assert_named(problems(result), "PRODUCT cbFolder", "refused by the stock module")


def test_trial_reads_an_error_box_and_ends(tmp_path):
    dist = build_sample(tmp_path / "dist")
    (dist / "defsetup.dll").unlink()
    tried = kvlship("try", dist, "--work", tmp_path / "trial", "--engine", BIN, "--json",
                    timeout=300)
    report = json.loads(tried.stdout)
    assert tried.returncode == 2 and not report["passed"]
    assert any("Missing module" in box["text"] for box in report["boxes"])
    assert report["exitMeaning"] == "setup could not run"
    assert report["installed"] == []


# Wine's own notepad, a program that asks about a document it cannot find.
NOTEPAD = next(Path("/usr/lib").glob("*/wine/i386-windows/notepad.exe"), None)


@pytest.mark.skipif(NOTEPAD is None, reason="Wine's 32-bit notepad.exe is not installed")
def test_trial_fails_a_run_whose_demonstration_shows_a_box(tmp_path):
    # The demonstration is asked to open a document that is not there: it
    # asks whether to create it. The trial answers, and must still fail.
    programs = tmp_path / "bin"
    programs.mkdir()
    shutil.copyfile(NOTEPAD, programs / "demo.exe")
    dist = tmp_path / "dist"
    done = kvlship("build", ROOT / "sample" / "atlas.manifest", dist, "-D", f"BIN={programs}",
                   "--engine", BIN)
    assert done.returncode == 0, done.stderr
    data = dist / "kvlsetup.dat"
    data.write_text(data.read_text().replace("cbDemoDocument=HARBOUR.TXT",
                                             "cbDemoDocument=MISSING.TXT"))
    tried = kvlship("try", dist, "--work", tmp_path / "trial", "--engine", BIN, "--json",
                    timeout=400)
    report = json.loads(tried.stdout)
    assert tried.returncode == 2 and not report["passed"], tried.stdout
    assert report["exitMeaning"] == "the installation is complete"
    assert any(f.startswith("the demonstration showed the box") and "MISSING.TXT" in f
               for f in report["faults"]), report["faults"]


def test_help_version_and_arguments_kvlship_cannot_act_on(tmp_path):
    for asked in (["--help"], ["-h"], ["help"]):
        said = kvlship(*asked)
        assert said.returncode == 0 and "  try DIST" in said.stdout, (asked, said)
    said = kvlship("check", "--help")
    assert said.returncode == 0 and said.stdout.startswith("usage: kvlship check DIST [--dest DIR]")
    assert "Example:\n  kvlship check " in said.stdout, said.stdout
    version = kvlship("--version")
    assert version.returncode == 0 and version.stdout.split()[:2] == ["kvlship", "1.0.0"], version
    # The one version: setup.exe's version information says the same.
    import pefile
    pe = pefile.PE(str(BIN / "setup.exe"))
    strings = {k.decode(): v.decode() for info in pe.FileInfo[0] if info.Key == b"StringFileInfo"
               for table in info.StringTable for k, v in table.entries.items()}
    assert strings["FileVersion"] == strings["ProductVersion"] == "1.0.0", strings
    # Another verb's flag is refused with this verb's usage line.
    said = kvlship("check", tmp_path, "--silent")
    assert said.returncode == 2 and "--silent is not a flag of kvlship check" in said.stderr
    assert "usage: kvlship check DIST" in said.stderr, said.stderr
    # A file that is no package where a distribution is wanted: nothing ran.
    setup = tmp_path / "TidewatchSetup.exe"
    setup.write_bytes(b"MZ not a package")
    said = kvlship("try", setup, "--work", tmp_path / "work")
    assert said.returncode == 2 and said.stdout == "", said.stdout
    assert said.stderr == f"kvlship: {setup} is a file, not a distribution folder or a package " \
                          "kvlship made\n", said.stderr
    assert not (tmp_path / "work").exists()
    said = kvlship("check", setup)
    assert said.returncode == 2 and f"{setup} is a file, not a distribution folder" in said.stderr


def test_build_refuses_a_manifest_it_cannot_ship_and_writes_nothing(tmp_path):
    manifest = tmp_path / "bad.manifest"
    (tmp_path / "a.txt").write_text("a")
    manifest.write_text("[package]\ntitle = Bad\nlicence = a.txt\nid = Bad\nversion = 1\n"
                        "publisher = Me\nlicence-name = Mine\ndescription = Bad one\n"
                        "download-url = https://example.com/bad.zip\n[files]\n"
                        "Data\\README.TXT = a.txt\ndata\\readme.txt = a.txt\n"
                        "..\\OUT.TXT = a.txt\nMISSING.TXT = nowhere.txt\n"
                        "\u65e5\u672c.TXT = a.txt\n" + "Deep\\" * 50 + "X.TXT = a.txt\n",
                        encoding="utf-8")
    done = kvlship("build", manifest, tmp_path / "out", "--engine", BIN)
    assert done.returncode == 2
    assert "bad.manifest:4 id must be 2 to 8 parts" in done.stderr
    assert "bad.manifest:12 installs the same file as line 11" in done.stderr
    assert "must stay below the destination" in done.stderr
    assert "nowhere.txt is missing" in done.stderr
    assert "bad.manifest:15 \"\u65e5\u672c.TXT\" holds \"\u65e5\" (U+65E5), which code page 1252 " \
        "cannot hold" in done.stderr
    assert "bad.manifest:16 installs C:\\Program Files (x86)\\KarveloEngine\\Deep\\" in done.stderr
    assert not (tmp_path / "out").exists()


def test_a_new_manifest_builds_a_distribution_that_checks_clean(tmp_path, monkeypatch):
    (tmp_path / "files").mkdir()
    (tmp_path / "files" / "ORBIT.EXE").write_bytes(bytes(range(256)) * 40)
    (tmp_path / "files" / "Star Map.txt").write_text("a map with a blank in its name\n" * 20)
    # Random bytes: compressed they would grow, so they ship as they are.
    (tmp_path / "files" / "NOISE.BIN").write_bytes(os.urandom(40000))
    # A name beyond ASCII that code page 1252 holds, two index.dat in two
    # folders and a folder with a blank: all install as named.
    (tmp_path / "files" / "Caf\u00e9.txt").write_text("caf\u00e9\n" * 20)
    for folder, text in (("One", "first"), ("Two", "second"), ("User Manuals", "guide")):
        (tmp_path / "files" / folder).mkdir()
        (tmp_path / "files" / folder / "index.dat").write_text(f"the {text} index\n" * 20)
    # Saved as UTF-8 with a byte-order mark, as some editors do: the mark goes.
    (tmp_path / "licence.txt").write_bytes(b"\xef\xbb\xbfUse it well.\n")
    monkeypatch.chdir(tmp_path)
    assert kvlship("new", "orbit.manifest", "files").returncode == 0
    manifest = tmp_path / "orbit.manifest"
    # A new product lets the user choose its folder.
    assert b"\r\ncbAskFolder = 1\r\n" in manifest.read_bytes()
    manifest.write_bytes(b"\xef\xbb\xbf" + manifest.read_bytes())
    done = kvlship("build", "orbit.manifest", "dist", "--engine", BIN)
    assert done.returncode == 0, done.stderr
    assert "has no licence-name, description, download-url" in done.stderr
    assert not (tmp_path / "dist.winget").exists()
    checked = kvlship("check", "dist", "--json")
    result = json.loads(checked.stdout)
    assert checked.returncode == 0, result["problems"]
    product = "C:\\Program Files\\My Product\\"
    installed = [product + name for name in ("Caf\u00e9.txt", "NOISE.BIN", "ORBIT.EXE",
                                             "One\\index.dat", "Star Map.txt", "Two\\index.dat",
                                             "User Manuals\\index.dat")]
    assert sorted(f["installed"] for f in result["files"]) == installed
    assert "cbItem00=Caf\xe9.tx_, t," in (tmp_path / "dist" / "kvlsetup.dat").read_text("latin-1")
    # A line of setup's code page that names the file in other case matches it, as setup's does.
    key, = add_lines(tmp_path / "dist", "CAF\xc9.TX_, T, , 0, 0, 1, 0;")
    found = problems(json.loads(kvlship("check", "dist", "--json").stdout))
    assert_named(found, key, "every file it matches is listed before it")
    assert (tmp_path / "dist" / "NOISE.BI_").read_bytes() == (tmp_path / "files" / "NOISE.BIN").read_bytes()
    assert (tmp_path / "dist" / "modlic.tx_").read_bytes() == bytes(
        b ^ 0xFF for b in b"Use it well.\r\n")
    assert kvlship("build", "orbit.manifest", "dist", "--engine", BIN).returncode == 0
    tried = kvlship("try", "dist", "--silent", "--json", "--work", tmp_path / "trial", "--engine",
                    BIN, timeout=300)
    report = json.loads(tried.stdout)
    assert tried.returncode == 0 and report["passed"], report.get("faults")
    assert sorted(f["path"] for f in report["installed"]
                  if not f["path"].endswith(("uninst.exe", "uninst.dat"))) == installed


def product(folder, files="A.TXT = a.txt\n", module="stock", title="Tiny"):
    """A manifest with its licence and one source file in `folder`."""
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "a.txt").write_text("a file\n")
    (folder / "licence.txt").write_text("Use it well.\n")
    manifest = folder / "p.manifest"
    manifest.write_text(f"[package]\ntitle = {title}\nlicence = licence.txt\nmodule = {module}\n"
                        f"[files]\n{files}")
    return manifest


def add_lines(dist, *lines):
    """Appends file-list lines to those the build wrote; returns their keys."""
    # The data file is in setup's code page, 1252 here.
    head, tail = (dist / "kvlsetup.dat").read_text("latin-1").split("[FILELIST]\n")
    count = tail.split("\n[")[0].count("cbItem")
    keys = [f"cbItem{count + n:02}" for n in range(len(lines))]
    items = "".join(f"{key}={line}\n" for key, line in zip(keys, lines))
    (dist / "kvlsetup.dat").write_text(head + "[FILELIST]\n" + items + tail, "latin-1")
    return keys


def test_a_stock_product_is_named_by_its_title_not_its_id(tmp_path, monkeypatch):
    (tmp_path / "files").mkdir()
    (tmp_path / "files" / "PEER.EXE").write_bytes(b"peer" * 100)
    (tmp_path / "licence.txt").write_text("Use it well.\n")
    monkeypatch.chdir(tmp_path)
    assert kvlship("new", "peer.manifest", "files").returncode == 0
    manifest = tmp_path / "peer.manifest"
    text = manifest.read_text().replace("title = My Product", "title = Peer App")
    manifest.write_text(text.replace("id = MyCompany.MyProduct", "id = Peer.App"))
    built(manifest, tmp_path / "dist")
    # Add/Remove Programs and the uninstaller take the stock module's cbTitle.
    product = (tmp_path / "dist" / "kvlsetup.dat").read_text().split("[PRODUCT]")[1].split("[")[0]
    titles = [line for line in product.splitlines() if line.lower().startswith("cbtitle")]
    assert titles == ["cbTitle=Peer App"] and "cbId=Peer.App" in product, product


def test_build_never_deletes_what_it_did_not_write(tmp_path, monkeypatch):
    manifest = product(tmp_path)
    monkeypatch.chdir(tmp_path)
    before = files_of(tmp_path)
    done = kvlship("build", "p.manifest", ".", "--engine", BIN)
    assert done.returncode == 2 and "holds p.manifest" in done.stderr
    assert files_of(tmp_path) == before

    assert kvlship("build", manifest, "dist", "--engine", BIN).returncode == 0
    (tmp_path / "dist" / "NOTES.TXT").write_text("the vendor's own")
    manifest.write_text(manifest.read_text().replace("A.TXT", "B.TXT"))
    assert kvlship("build", manifest, "dist", "--engine", BIN).returncode == 0
    assert {"NOTES.TXT", "B.TX_"} <= set(os.listdir("dist")) and "A.TX_" not in os.listdir("dist")


def test_check_ends_on_a_pathological_pattern_devices_fifos_and_links(tmp_path):
    dist = build_sample(tmp_path / "dist")
    (dist / ("a" * 80)).write_text("x")
    os.symlink("/dev/zero", dist / "ZERO.BIN")
    os.mkfifo(dist / "FIFO.BIN")
    os.symlink("/usr", dist / "LINKED")
    stars, zero, fifo, linked = add_lines(
        dist, "*a*a*a*a*a*a*a*b, b, , 0, 0, 1, 0;", "ZERO.BIN, N, , 0, 0, 1, 0;",
        "FIFO.BIN, N, , 0, 0, 1, 0;", "LINKED, D, , 0, 0, 1, 0;")
    found = problems(json.loads(kvlship("check", dist, "--json", timeout=30).stdout))
    assert_named(found, stars, "matches no file")
    assert_named(found, zero, "a symbolic link")
    assert_named(found, fifo, "a device, FIFO or socket")
    assert_named(found, linked, "a symbolic link")


def test_check_refuses_a_truncated_module(tmp_path):
    dist = build_sample(tmp_path / "dist")
    module = (BIN / "stock.dll").read_bytes()
    (dist / "defsetup.dll").write_bytes(module[: len(module) // 2])
    found = problems(json.loads(kvlship("check", dist, "--json").stdout))
    assert_named(found, "defsetup.dll", "cut short")


def test_names_a_data_file_line_cannot_carry_are_refused_and_never_printed_raw(tmp_path):
    manifest = product(tmp_path, title="${T}", files="TAB\tX.TXT = a.txt\nA,B.TXT = a.txt\n"
                       "A;B.TXT = a.txt\nBad|Dir\\ONE.TXT = a.txt\nBad|Dir\\TWO.TXT = a.txt\n"
                       "Good\\ONE.TXT = a.txt\n")
    done = kvlship("build", manifest, tmp_path / "out", "--engine", BIN,
                   "-D", "T=x\r\n[FILELIST]\r\ncbItem00=A.TX_, T, , 0, 0, 1, 0;")
    assert done.returncode == 2 and not (tmp_path / "out").exists()
    said = done.stderr.splitlines()
    assert any("TAB\\x09X.TXT" in line and "control character" in line for line in said)
    assert sum("holds ',' or ';'" in line for line in said) == 2
    assert sum("sub-folder \"Bad|Dir\"" in line for line in said) == 2
    assert any("-D T" in line and "line break" in line for line in said)
    assert "kvlship: 7 mistakes" in done.stderr  # nothing follows from the bad sub-folders

    dist = build_sample(tmp_path / "dist")
    (dist / "\x1b[2J\x1b[HREADME.TX_").write_text("x")
    shown = kvlship("check", dist).stdout
    assert "\x1b" not in shown and "\\x1b[2J\\x1b[HREADME.TX_ ships" in shown


def running(text):
    """Command lines of the host's processes that hold `text`."""
    found = []
    for process in Path("/proc").iterdir():
        try:
            command = (process / "cmdline").read_bytes().decode(errors="replace")
        except OSError:
            continue
        if process.name.isdigit() and text in command:
            found.append(command)
    return found


@pytest.fixture(scope="module")
def hostile_trial(tmp_path_factory):
    """A trial of a distribution whose module writes to the host through Z:,
    starts host programs, writes a false end into its output and starts a
    program of its own; its folder holds a FIFO and links out."""
    root = tmp_path_factory.mktemp("hostile")
    dist = root / "dist"
    done = kvlship("build", product(root / "src", module=BIN / "hostile.dll"), dist,
                   "--engine", BIN)
    assert done.returncode == 0, done.stderr
    os.mkfifo(dist / "FIFO.BIN")
    os.symlink("/dev/zero", dist / "ZERO.BIN")
    os.symlink("/usr", dist / "LINKED")
    (root / "target").mkdir()
    tried = kvlship("try", dist, "--work", root / "trial", "--engine", BIN, "--json", "--keep",
                    "--timeout", 240, timeout=300,
                    env={**os.environ, "KVLSHIP_HOSTILE": str(root / "target")})
    return root, tried.returncode, json.loads(tried.stdout)


def test_trial_keeps_a_hostile_module_off_the_host_and_ends_all_it_started(hostile_trial):
    root, status, report = hostile_trial
    assert status == 2 and not report["passed"]
    assert list((root / "target").iterdir()) == []
    assert report["prefixCopyKept"] and (root / "trial" / "prefix" / "drive_c").is_dir()
    assert not (root / "trial" / "prefix" / "dosdevices" / "z:").exists()
    assert not (root / "trial" / "prefix" / "drive_c" / "kvlship-trial" / "distribution" /
                "LINKED").exists()
    assert running(str(root / "target")) == []
    assert any("target/loop" in program for program in report["hostPrograms"])
    assert report["exitCode"] == 0  # not the module's false end
    assert "ran the distribution's own code" in report["warnings"][0]


def test_trial_takes_only_the_shells_launch_for_the_demonstration(hostile_trial):
    _, _, report = hostile_trial
    assert report["demoCommand"] == ""
    assert report["otherPrograms"] == ["C:\\windows\\system32\\notepad.exe"]


def test_silent_trial_passes_the_sample_and_reads_its_log(tmp_path):
    dist = build_sample(tmp_path / "dist")
    tried = kvlship("try", dist, "--silent", "--work", tmp_path / "trial", "--engine", BIN,
                    "--json", timeout=400)
    report = json.loads(tried.stdout)
    assert tried.returncode == 0 and report["passed"], tried.stdout
    assert report["silent"] and report["screenshots"] == []
    assert report["exitMeaning"] == "the installation is complete"
    assert report["logLines"][-1].endswith("setup ended: exit code 0, the installation is complete")
    assert Path(report["log"]).parent == (tmp_path / "trial" / "logs").resolve()
    # The trial's own copy of the prefix goes; the kept one, named, stays.
    assert not (tmp_path / "trial" / "prefix").exists() and not report["prefixCopyKept"]
    assert report["prefixCopyBytes"] > 0, report["prefixCopy"]
    assert Path(report["keptPrefix"]).is_dir() and report["keptPrefixBytes"] > 0, report


# ---------------------------------------------------------------------------
# Signing, against a CA made here and trusted nowhere else.


@pytest.fixture(scope="module")
def vendor_certificate(tmp_path_factory):
    """A throwaway CA and a code-signing certificate it issued, as a pfx
    whose password is in a file; returns (pfx, password file, CA pem)."""
    folder = tmp_path_factory.mktemp("certificate")

    def openssl(*args):
        done = subprocess.run(["openssl", *map(str, args)], cwd=folder, capture_output=True,
                              text=True)
        assert done.returncode == 0, done.stderr

    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem",
            "-days", "2", "-subj", "/CN=Throwaway Test CA",
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "vendor.key", "-out", "vendor.csr",
            "-subj", "/CN=Harbour Charts")
    (folder / "leaf.cnf").write_text("basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\n"
                                     "extendedKeyUsage=codeSigning\n")
    openssl("x509", "-req", "-in", "vendor.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
            "-CAcreateserial", "-out", "vendor.pem", "-days", "2", "-extfile", "leaf.cnf")
    (folder / "password.txt").write_text("harbour light\n")
    openssl("pkcs12", "-export", "-inkey", "vendor.key", "-in", "vendor.pem", "-out", "vendor.pfx",
            "-passout", "pass:harbour light")
    return folder / "vendor.pfx", folder / "password.txt", folder / "ca.pem"


def verifies(path, ca):
    return subprocess.run(["osslsigncode", "verify", "-CAfile", ca, "-in", path],
                          capture_output=True).returncode == 0


def test_signed_build_verifies_and_check_names_altered_and_unsigned_programs(
        tmp_path, vendor_certificate):
    pfx, password, ca = vendor_certificate
    dist = tmp_path / "dist"
    done = kvlship("build", ROOT / "sample" / "atlas.manifest", dist, "-D", f"BIN={BIN}",
                   "--engine", BIN, "--sign", pfx, "--password-file", password,
                   "--package", "Atlas.exe")
    assert done.returncode == 0, done.stderr
    # The package is signed last, over its payload and version information.
    package = bytearray((tmp_path / "Atlas.exe").read_bytes())
    assert verifies(tmp_path / "Atlas.exe", ca)
    package[(BIN / "kvlpack.exe").stat().st_size + 64] ^= 1  # past the stub: in the payload
    (tmp_path / "Altered.exe").write_bytes(package)
    assert not verifies(tmp_path / "Altered.exe", ca)
    # The product's own program is signed before it is compressed.
    with open(dist / "DEMO.EX_", "rb") as stored, open(tmp_path / "DEMO.EXE", "wb") as expanded:
        subprocess.run(["msexpand"], stdin=stored, stdout=expanded, check=True)
    for program in (dist / "setup.exe", dist / "uninst.exe", dist / "defsetup.dll",
                    tmp_path / "DEMO.EXE"):
        assert verifies(program, ca), program
    checked = kvlship("check", dist, "--ca", ca, "--json")
    assert checked.returncode == 0, checked.stdout
    # Without the private CA, the chain leads to no root the host trusts.
    assert_named(problems(json.loads(kvlship("check", dist, "--json").stdout)), "setup.exe",
                 "its certificate is not trusted")

    setup = bytearray((dist / "setup.exe").read_bytes())
    setup[0x400] ^= 1
    (dist / "setup.exe").write_bytes(setup)
    assert not verifies(dist / "setup.exe", ca)
    shutil.copyfile(BIN / "uninst.exe", dist / "uninst.exe")
    found = problems(json.loads(kvlship("check", dist, "--ca", ca, "--json").stdout))
    assert_named(found, "setup.exe", "was changed after it was signed")
    assert_named(found, "uninst.exe", "is not signed")
    # Where osslsigncode is missing, check says so once.
    result = json.loads(kvlship("check", dist, "--json", env={"PATH": "/nonexistent"}).stdout)
    assert [n for n in result["notes"] if "not verified" in n] == [
        "signatures were not verified: osslsigncode is not installed (apt-get install osslsigncode)"]


def test_signing_that_cannot_work_is_refused_before_anything_is_written(
        tmp_path, vendor_certificate):
    pfx, password, _ = vendor_certificate
    manifest = product(tmp_path / "p")
    wrong = tmp_path / "wrong.txt"
    wrong.write_text("not it\n")
    for extra, env, said in [
            (["--password-file", wrong], None, "Wrong password?"),
            (["--password-file", password], {"PATH": "/nonexistent"},
             "osslsigncode is not installed")]:
        done = kvlship("build", manifest, tmp_path / "out", "--engine", BIN, "--sign", pfx, *extra,
                       env=env)
        assert done.returncode == 2 and said in done.stderr, done.stderr
        assert not (tmp_path / "out").exists()
    # And signing that works leaves no temporary file beside what it signed.
    done = kvlship("build", manifest, tmp_path / "out", "--engine", BIN, "--sign", pfx,
                   "--password-file", password)
    assert done.returncode == 0, done.stderr
    assert not [p.name for p in (tmp_path / "out").iterdir() if p.name.endswith(".signing")]


def test_windows_build_of_the_tool_says_plainly_that_signtool_is_missing(
        tmp_path, vendor_certificate):
    pfx, password, _ = vendor_certificate
    manifest = product(tmp_path / "p")
    env = dict(os.environ, WINEDEBUG="-all", WINEARCH="win32",
               WINEPREFIX=os.environ.get("WINEPREFIX", str(BUILD / "wineprefix")))
    # Output into files: a Wine service the first program starts would hold a pipe open.
    with open(tmp_path / "stdout", "w") as out, open(tmp_path / "stderr", "w") as err:
        done = subprocess.run(["wine", BIN / "kvlship.exe", "build", manifest, tmp_path / "out",
                               "--engine", BIN, "--sign", pfx, "--password-file", password],
                              stdout=out, stderr=err, timeout=120, env=env,
                              stdin=subprocess.DEVNULL)
    said = (tmp_path / "stderr").read_text()
    assert done.returncode == 2, said
    assert "signtool.exe is not on PATH" in said
    assert not (tmp_path / "out").exists()
def trial(dist, work, *args, timeout=400):
    """kvlship try, silent unless told otherwise: its exit status and its report."""
    tried = kvlship("try", dist, "--work", work, "--engine", BIN, "--json", *args, timeout=timeout)
    return tried.returncode, json.loads(tried.stdout)


def built(manifest, out):
    done = kvlship("build", manifest, out, "--engine", BIN)
    assert done.returncode == 0, done.stderr
    return out


def test_trial_judges_the_folder_a_module_chose_for_itself(tmp_path):
    dist = built(product(tmp_path / "src", files="A.TXT = a.txt\nSub\\B.TXT = a.txt\n",
                         module=BIN / "ownfolder.dll"), tmp_path / "dist")
    status, learned = trial(dist, tmp_path / "learned", "--silent")
    assert status == 0 and learned["passed"], learned
    assert learned["destination"] == "C:\\Harbour Own"
    assert learned["leftBehind"] == [] and [u["exitCode"] for u in learned["uninstall"]] == [0]
    status, given = trial(dist, tmp_path / "given", "--silent", "--dest", "C:\\Harbour Own")
    assert status == 0 and given["passed"], given
    status, other = trial(dist, tmp_path / "other", "--silent", "--dest", "C:\\Other")
    assert status == 2
    assert other["faults"][:2] == ["setup installed into C:\\Harbour Own, not into C:\\Other (--dest)",
                                   "C:\\Other\\A.TXT (cbItem00) was not installed"]


def test_check_names_a_destination_only_the_module_knows_as_such(tmp_path):
    own = built(product(tmp_path / "own", module=BIN / "ownfolder.dll"), tmp_path / "own-dist")
    said = kvlship("check", own).stdout
    assert "Tiny installs into a folder chosen by the module at run time;" in said, said
    assert json.loads(kvlship("check", own, "--json").stdout)["destinationKnown"] is False
    given = json.loads(kvlship("check", own, "--dest", "C:\\Own", "--json").stdout)
    assert given["destinationKnown"] is True and given["destination"] == "C:\\Own"
    stock = json.loads(kvlship("check", built(product(tmp_path / "stock"), tmp_path / "stock-dist"),
                               "--json").stdout)
    assert stock["destinationKnown"] is True, stock


def test_trial_names_a_shortcut_and_a_setting_the_stock_module_did_not_make(tmp_path):
    sections = ("[PRODUCT]\ncbId = Tiny\n[GROUP]\ncbName = Tiny\n"
                "cbItem00 = Read/Me|A.TXT||.|About\ncbItem01 = Good|A.TXT||.|Fine\n"
                "[INI]\ncbItem00 = Conf\\TINY.INI|Tiny|Home|%DEST%\n"
                "cbItem01 = TINY.INI|Tiny|Home|%DEST%\n")
    dist = built(product(tmp_path / "src", files="A.TXT = a.txt\n" + sections), tmp_path / "dist")
    status, report = trial(dist, tmp_path / "trial", "--silent")
    assert status == 2 and not report["passed"]
    faults = report["faults"]
    assert len(faults) == 2, faults
    assert faults[0].startswith("the shortcut of [GROUP] cbItem00, " + report["programsFolder"])
    assert faults[0].endswith("\\Tiny\\Read/Me.lnk, was not written")
    assert faults[1] == ("the setting of [INI] cbItem00: its file "
                         "C:\\Program Files\\KarveloEngine\\Conf\\TINY.INI was not written")


def test_trial_over_an_older_version_upgrades_and_the_removal_takes_both(tmp_path):
    def version(name, number, files):
        src = tmp_path / name
        manifest = product(src, files=files + f"[PRODUCT]\ncbId = Tiny\ncbVersion = {number}\n")
        (src / "a.txt").write_text(f"version {number}\n")
        return built(manifest, tmp_path / f"{name}-dist")

    older = version("older", "1.0", "A.TXT = a.txt, replace\nOLD.TXT = a.txt, replace\n")
    newer = version("newer", "2.0", "A.TXT = a.txt, replace\nNEW.TXT = a.txt, replace\n")
    status, report = trial(newer, tmp_path / "trial", "--silent", "--over", older)
    assert status == 0 and report["passed"], report
    assert report["olderExitCode"] == 0
    assert report["notes"] == ["C:\\Program Files\\KarveloEngine\\OLD.TXT, installed by the older "
                               "version, is not shipped by this one: the upgrade left it, for "
                               "the removal to take"]
    assert report["leftBehind"] == []


def test_trial_in_a_64_bit_prefix_installs_into_the_32_bit_program_files(tmp_path):
    dist = build_sample(tmp_path / "dist")
    planned = json.loads(kvlship("check", dist, "--json").stdout)
    assert planned["destination64"] == "C:\\Program Files (x86)\\Harbour Atlas"
    status, report = trial(dist, tmp_path / "trial", "--silent", "--win64")
    assert status == 0 and report["passed"], report
    assert report["win64"] and report["destination"] == planned["destination64"]
    assert report["uninstall"][0]["command"].startswith('"C:\\Program Files (x86)\\Harbour Atlas')
    assert report["leftBehind"] == []


def test_device_names_are_refused_by_build_and_by_check(tmp_path):
    manifest = product(tmp_path / "src", files="CON .TXT = a.txt\nNUL.TXT = a.txt\n"
                       "Docs\\aux\\X.TXT = a.txt\nLPT1 = a.txt\nReadme. = a.txt\nCONSOLE.TXT = a.txt\n")
    done = kvlship("build", manifest, tmp_path / "out", "--engine", BIN, "--package", "Tiny.exe")
    assert done.returncode == 2 and not (tmp_path / "out").exists()
    assert not (tmp_path / "Tiny.exe").exists()
    for line, name in ((6, "CON .TXT"), (7, "NUL.TXT"), (8, "aux"), (9, "LPT1")):
        assert f'p.manifest:{line} "{name}" is a device\'s name on Windows' in done.stderr, name
    assert 'p.manifest:10 "Readme." ends in a dot or blank' in done.stderr
    assert "kvlship: 5 mistakes" in done.stderr  # CONSOLE.TXT is a plain name

    dist = build_sample(tmp_path / "dist")
    for name in ("CON .TX_", "nul.tx_"):
        (dist / name).write_text("x")
    blank, nul, folder = add_lines(dist, "CON?.TX_, T, , 0, 0, 1, 0;", "nul.tx_, T, , 0, 0, 1, 0;",
                                   "README.TX_, T, Docs\\Com1, 0, 0, 1, 0;")
    found = problems(json.loads(kvlship("check", dist, "--json").stdout))
    assert_named(found, blank, "\"CON .TX_\", which is a device's name on Windows")
    assert_named(found, nul, "\"nul.tx_\", which is a device's name on Windows")
    assert_named(found, folder, "its sub-folder's name \"Com1\" is a device's name")


def test_a_module_that_registers_no_removal_passes_its_trial_with_a_warning(tmp_path):
    # A module of its own, written to the contract before registration existed.
    dist = built(product(tmp_path / "src", files="A.TXT = a.txt\nSub\\B.TXT = a.txt\n",
                         module=BIN / "empty.dll"), tmp_path / "dist")
    found = problems(json.loads(kvlship("check", dist, "--json").stdout))
    assert_named(found, "defsetup.dll", "registers no removal: the product cannot be uninstalled")
    status, report = trial(dist, tmp_path / "trial", "--silent")
    assert status == 0 and report["passed"], report
    assert report["leftBehind"] == [] and report["faults"] == []
    assert sum("cannot be removed" in w for w in report["warnings"]) == 1, report["warnings"]


def test_trial_of_the_single_file_package_installs_a_name_beyond_ascii(tmp_path):
    manifest = product(tmp_path / "src", files="\u00dcbersicht.txt = a.txt\nB.TXT = a.txt\n")
    done = kvlship("build", manifest, tmp_path / "dist", "--engine", BIN, "--package", "Tiny.exe")
    assert done.returncode == 0, done.stderr
    status, report = trial(tmp_path / "Tiny.exe", tmp_path / "trial", "--silent")
    assert status == 0 and report["passed"], report
    installed = {Path(f["path"].replace("\\", "/")).name for f in report["installed"]}
    assert {"\u00dcbersicht.txt", "B.TXT"} <= installed, installed


def readme_example():
    """The manifest of the README's worked example, as a vendor copies it."""
    text = (ROOT / "README.md").read_text()
    block = text.split("<!-- example manifest")[1].split("-->", 1)[1]
    block = block.split("<!-- end of the example manifest -->")[0]
    return "\n".join(line[4:] for line in block.strip("\n").splitlines()) + "\n"


def test_a_new_vendors_first_day_follows_the_readme(tmp_path, vendor_certificate):
    pfx, password, ca = vendor_certificate
    folder = tmp_path / "tidewatch"
    (folder / "files" / "Data").mkdir(parents=True)
    shutil.copyfile(BIN / "demo.exe", folder / "files" / "TIDE.EXE")
    (folder / "files" / "README.TXT").write_text("Tidewatch: the tides of the harbour\r\n")
    (folder / "files" / "Data" / "TIDES.DAT").write_bytes(bytes(range(256)) * 64)
    (folder / "licence.txt").write_text("Use Tidewatch well.\n")
    manifest = folder / "tidewatch.manifest"

    def step(name, *args, expect=0, timeout=120):
        done = kvlship(*args, timeout=timeout)
        assert done.returncode == expect, \
            f"step {name!r} ended with {done.returncode}:\n{done.stdout}\n{done.stderr}"
        return done

    assert "kvlship VERB --help" in step("help", "--help").stdout
    step("new", "new", manifest, folder / "files")
    listed = manifest.read_text()
    assert all(name in listed for name in ("TIDE.EXE", "README.TXT", "Data\\TIDES.DAT")), listed
    manifest.write_text(readme_example())
    package = folder / "TidewatchSetup.exe"
    step("build", "build", manifest, folder / "dist", "--engine", BIN, "--package", package.name,
         "--sign", pfx, "--password-file", password)
    assert verifies(package, ca), "step 'build': the package does not verify"
    import pefile
    pe = pefile.PE(str(package))
    strings = {k.decode(): v.decode() for info in pe.FileInfo[0] if info.Key == b"StringFileInfo"
               for table in info.StringTable for k, v in table.entries.items()}
    assert strings.get("LegalCopyright") == "Copyright (C) 2026 Karvelo Tides", strings
    checked = json.loads(step("check", "check", folder / "dist", "--ca", ca, "--json").stdout)
    assert checked["destination"] == "C:\\Program Files\\Karvelo Tides\\Tidewatch", checked
    assert checked["problems"] == [], checked["problems"]
    tried = step("try", "try", package, "--work", tmp_path / "trial", "--engine", BIN, "--json",
                 timeout=400)
    report = json.loads(tried.stdout)
    assert report["passed"] and report["faults"] == [] and report["leftBehind"] == [], report
    assert any(b["answer"] == "Continue" and "desktop" in b["text"] for b in report["boxes"]), \
        report["boxes"]


def test_new_build_check_and_try_agree_on_a_product_of_1109_files(tmp_path):
    files = tmp_path / "files"
    for i in range(1109):
        folder = files / ("bin" if i < 300 else f"docs{i % 7}")
        folder.mkdir(parents=True, exist_ok=True)
        if i < 300:
            (folder / f"lib{i:04d}.dll").write_bytes(b"MZ" + bytes([i & 0xFF]) * (1000 + i))
        else:
            (folder / f"note{i:04d}.txt").write_text(f"note {i}\n" * (1 + i % 20))
    (tmp_path / "licence.txt").write_text("Use it well.\n")
    manifest = tmp_path / "large.manifest"
    # An engine that states no limit takes the fixed 128 entries: new still
    # lists every file but says so, and build refuses as it says.
    older = tmp_path / "older"
    older.mkdir()
    for name in ("stock.dll", "uninst.exe"):
        shutil.copy(BIN / name, older / name)
    key = "CopyEntriesLimit".encode("utf-16-le")
    image = (BIN / "setup.exe").read_bytes()
    assert key in image
    (older / "setup.exe").write_bytes(image.replace(key, "NoEntriesLimitXX".encode("utf-16-le")))
    listed = kvlship("new", manifest, files, "--engine", older)
    assert listed.returncode == 0 and "lists 1109 files" in listed.stdout, listed.stderr
    assert "installs at most 128 files" in listed.stderr
    refused = kvlship("build", manifest, tmp_path / "old-dist", "--engine", older)
    assert refused.returncode == 2
    assert "setup installs at most 128 files; this lists 1109" in refused.stderr

    manifest.unlink()
    listed = kvlship("new", manifest, files, "--engine", BIN)
    assert listed.returncode == 0 and listed.stderr == "", listed.stderr
    assert "fast-copy = yes" in manifest.read_text()
    dist = tmp_path / "dist"
    built = kvlship("build", manifest, dist, "--engine", BIN, timeout=300)
    assert built.returncode == 0, built.stderr
    data = (dist / "kvlsetup.dat").read_bytes().decode("latin-1")
    assert "cbCopyEntries=1109\r\n" in data and "cbFastCopy=1\r\n" in data, data
    checked = kvlship("check", dist, "--json", timeout=300)
    result = json.loads(checked.stdout)
    assert checked.returncode == 0, result["problems"]
    assert len(result["files"]) == 1109
    # The room declared is the room check gives: one entry less and the last file finds none.
    (dist / "kvlsetup.dat").write_bytes(
        data.replace("cbCopyEntries=1109", "cbCopyEntries=1108").encode("latin-1"))
    found = problems(json.loads(kvlship("check", dist, "--json", timeout=300).stdout))
    assert_named(found, "FILELIST", "1 files find no place: setup lists at most 1108")
    (dist / "kvlsetup.dat").write_bytes(data.encode("latin-1"))

    tried = kvlship("try", dist, "--silent", "--json", "--work", tmp_path / "trial", "--engine",
                    BIN, timeout=600)
    report = json.loads(tried.stdout)
    assert tried.returncode == 0 and report["passed"], report.get("faults")
    landed = [f["path"] for f in report["installed"]
              if not f["path"].endswith(("uninst.exe", "uninst.dat"))]
    assert sorted(landed) == sorted(f["installed"] for f in result["files"])
