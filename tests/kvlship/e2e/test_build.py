"""kvlship build: the same bytes every time, the manifest's mistakes named
by line before anything is written, and nothing deleted it did not write."""
import os

from conftest import BIN, build_sample, built, files_of, kvlship, product


def test_sample_builds_the_same_bytes_and_hands_its_identity_to_the_stock_module(tmp_path):
    first = build_sample(tmp_path / "first")
    second = build_sample(tmp_path / "second")
    assert files_of(first) == files_of(second)
    assert files_of(tmp_path / "first.winget") == files_of(tmp_path / "second.winget")
    # The package's identity reaches the stock module, which registers the product with it.
    product = (first / "kvlsetup.dat").read_text().split("[PRODUCT]")[1].split("[")[0]
    assert "cbId=Harbour.Atlas" in product and "cbVersion=2.1" in product, product


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


def test_build_refuses_device_names(tmp_path):
    manifest = product(tmp_path / "src", files="CON .TXT = a.txt\nNUL.TXT = a.txt\n"
                       "Docs\\aux\\X.TXT = a.txt\nLPT1 = a.txt\nReadme. = a.txt\nCONSOLE.TXT = a.txt\n")
    done = kvlship("build", manifest, tmp_path / "out", "--engine", BIN, "--package", "Tiny.exe")
    assert done.returncode == 2 and not (tmp_path / "out").exists()
    assert not (tmp_path / "Tiny.exe").exists()
    for line, name in ((6, "CON .TXT"), (7, "NUL.TXT"), (8, "aux"), (9, "LPT1")):
        assert f'p.manifest:{line} "{name}" is a device\'s name on Windows' in done.stderr, name
    assert 'p.manifest:10 "Readme." ends in a dot or blank' in done.stderr
    assert "kvlship: 5 mistakes" in done.stderr  # CONSOLE.TXT is a plain name


def test_build_refuses_names_a_data_file_line_cannot_carry(tmp_path):
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
