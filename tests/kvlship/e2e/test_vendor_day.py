"""A vendor's way through kvlship, a step a test: the README's first day
(new, build signed with a package, check, try), a new manifest with names a
careless folder holds, and a product of 1109 files. A step that the later
ones need is a module fixture, so a failure names the step."""
import json
import os
import shutil

import pytest

from conftest import (BIN, ROOT, add_lines, assert_named, checked_json, kvlship, problems,
                      verifies, version_strings)


def readme_example():
    """The manifest of the README's worked example, as a vendor copies it."""
    text = (ROOT / "README.md").read_text()
    block = text.split("<!-- example manifest")[1].split("-->", 1)[1]
    block = block.split("<!-- end of the example manifest -->")[0]
    return "\n".join(line[4:] for line in block.strip("\n").splitlines()) + "\n"


def step(name, *args, expect=0, timeout=120):
    done = kvlship(*args, timeout=timeout)
    assert done.returncode == expect, \
        f"step {name!r} ended with {done.returncode}:\n{done.stdout}\n{done.stderr}"
    return done


@pytest.fixture(scope="module")
def tidewatch(tmp_path_factory):
    """The README's product: its files and its licence."""
    folder = tmp_path_factory.mktemp("first-day") / "tidewatch"
    (folder / "files" / "Data").mkdir(parents=True)
    shutil.copyfile(BIN / "demo.exe", folder / "files" / "TIDE.EXE")
    (folder / "files" / "README.TXT").write_text("Tidewatch: the tides of the harbour\r\n")
    (folder / "files" / "Data" / "TIDES.DAT").write_bytes(bytes(range(256)) * 64)
    (folder / "licence.txt").write_text("Use Tidewatch well.\n")
    return folder


@pytest.fixture(scope="module")
def tidewatch_built(tidewatch, vendor_certificate):
    """The README's example manifest built signed, with its package."""
    pfx, password, _ = vendor_certificate
    manifest = tidewatch / "tidewatch.manifest"
    manifest.write_text(readme_example())
    package = tidewatch / "TidewatchSetup.exe"
    step("build", "build", manifest, tidewatch / "dist", "--engine", BIN, "--package",
         package.name, "--sign", pfx, "--password-file", password)
    return package


def test_first_day_help_names_the_verbs_help():
    assert "kvlship VERB --help" in step("help", "--help").stdout


def test_first_day_new_lists_every_file(tidewatch):
    manifest = tidewatch / "listed.manifest"
    step("new", "new", manifest, tidewatch / "files")
    listed = manifest.read_text()
    assert all(name in listed for name in ("TIDE.EXE", "README.TXT", "Data\\TIDES.DAT")), listed


def test_first_day_build_signs_the_package_with_the_products_copyright(
        tidewatch_built, vendor_certificate):
    assert verifies(tidewatch_built, vendor_certificate[2]), "the package does not verify"
    strings = version_strings(tidewatch_built)
    assert strings.get("LegalCopyright") == "Copyright (C) 2026 Karvelo Tides", strings


def test_first_day_check_is_clean(tidewatch, tidewatch_built, vendor_certificate):
    checked = json.loads(step("check", "check", tidewatch / "dist", "--ca",
                              vendor_certificate[2], "--json").stdout)
    assert checked["destination"] == "C:\\Program Files\\Karvelo Tides\\Tidewatch", checked
    assert checked["problems"] == [], checked["problems"]


def test_first_day_try_of_the_package_passes(tidewatch_built, tmp_path):
    tried = step("try", "try", tidewatch_built, "--work", tmp_path / "trial", "--engine", BIN,
                 "--json", timeout=400)
    report = json.loads(tried.stdout)
    assert report["passed"] and report["faults"] == [] and report["leftBehind"] == [], report
    assert any(b["answer"] == "Continue" and "desktop" in b["text"] for b in report["boxes"]), \
        report["boxes"]


# A new manifest for a folder with a blank, a name beyond ASCII, two files of
# one name and random bytes, as a vendor's folder holds them.
ORBIT = "C:\\Program Files\\My Product\\"
ORBIT_INSTALLED = [ORBIT + name for name in ("Caf\u00e9.txt", "NOISE.BIN", "ORBIT.EXE",
                                             "One\\index.dat", "Star Map.txt", "Two\\index.dat",
                                             "User Manuals\\index.dat")]


@pytest.fixture(scope="module")
def orbit(tmp_path_factory):
    """The product's folder and `kvlship new`'s manifest for it."""
    root = tmp_path_factory.mktemp("orbit")
    (root / "files").mkdir()
    (root / "files" / "ORBIT.EXE").write_bytes(bytes(range(256)) * 40)
    (root / "files" / "Star Map.txt").write_text("a map with a blank in its name\n" * 20)
    # Random bytes: compressed they would grow, so they ship as they are.
    (root / "files" / "NOISE.BIN").write_bytes(os.urandom(40000))
    # A name beyond ASCII that code page 1252 holds, two index.dat in two
    # folders and a folder with a blank: all install as named.
    (root / "files" / "Caf\u00e9.txt").write_text("caf\u00e9\n" * 20)
    for folder, text in (("One", "first"), ("Two", "second"), ("User Manuals", "guide")):
        (root / "files" / folder).mkdir()
        (root / "files" / folder / "index.dat").write_text(f"the {text} index\n" * 20)
    # Saved as UTF-8 with a byte-order mark, as some editors do: the mark goes.
    (root / "licence.txt").write_bytes(b"\xef\xbb\xbfUse it well.\n")
    assert kvlship("new", "orbit.manifest", "files", cwd=root).returncode == 0
    return root


@pytest.fixture(scope="module")
def orbit_built(orbit):
    """The manifest as new wrote it, saved with a byte-order mark, built."""
    manifest = orbit / "orbit.manifest"
    manifest.write_bytes(b"\xef\xbb\xbf" + manifest.read_bytes())
    done = kvlship("build", "orbit.manifest", "dist", "--engine", BIN, cwd=orbit)
    assert done.returncode == 0, done.stderr
    return done


def test_a_new_product_lets_the_user_choose_its_folder(orbit):
    assert b"\r\ncbAskFolder = 1\r\n" in (orbit / "orbit.manifest").read_bytes()


def test_a_new_manifest_builds_with_a_note_of_the_package_managers_keys(orbit, orbit_built):
    assert "has no licence-name, description, download-url" in orbit_built.stderr
    assert not (orbit / "dist.winget").exists()
    assert "cbItem00=Caf\xe9.tx_, t," in (orbit / "dist" / "kvlsetup.dat").read_text("latin-1")
    assert (orbit / "dist" / "NOISE.BI_").read_bytes() == (orbit / "files" / "NOISE.BIN").read_bytes()
    assert (orbit / "dist" / "modlic.tx_").read_bytes() == bytes(
        b ^ 0xFF for b in b"Use it well.\r\n")


def test_a_new_manifests_distribution_checks_clean(orbit, orbit_built, tmp_path):
    status, result = checked_json(orbit / "dist")
    assert status == 0, result["problems"]
    assert sorted(f["installed"] for f in result["files"]) == ORBIT_INSTALLED
    # A line of setup's code page that names the file in other case matches it, as setup's does.
    dist = shutil.copytree(orbit / "dist", tmp_path / "dist")
    key, = add_lines(dist, "CAF\xc9.TX_, T, , 0, 0, 1, 0;")
    assert_named(problems(checked_json(dist)[1]), key, "every file it matches is listed before it")


def test_a_new_manifests_distribution_installs_every_file_under_trial(orbit, orbit_built):
    # A second build over the first, then the trial of what it wrote.
    assert kvlship("build", "orbit.manifest", "dist", "--engine", BIN, cwd=orbit).returncode == 0
    tried = kvlship("try", "dist", "--silent", "--json", "--work", orbit / "trial", "--engine",
                    BIN, timeout=300, cwd=orbit)
    report = json.loads(tried.stdout)
    assert tried.returncode == 0 and report["passed"], report.get("faults")
    assert sorted(f["path"] for f in report["installed"]
                  if not f["path"].endswith(("uninst.exe", "uninst.dat"))) == ORBIT_INSTALLED


# A product of 1109 files, past the 128 entries of an engine that states no limit.
@pytest.fixture(scope="module")
def large(tmp_path_factory):
    root = tmp_path_factory.mktemp("large")
    files = root / "files"
    for i in range(1109):
        folder = files / ("bin" if i < 300 else f"docs{i % 7}")
        folder.mkdir(parents=True, exist_ok=True)
        if i < 300:
            (folder / f"lib{i:04d}.dll").write_bytes(b"MZ" + bytes([i & 0xFF]) * (1000 + i))
        else:
            (folder / f"note{i:04d}.txt").write_text(f"note {i}\n" * (1 + i % 20))
    (root / "licence.txt").write_text("Use it well.\n")
    return root


def test_an_engine_without_a_stated_limit_holds_new_and_build_to_128_files(large):
    # An engine that states no limit takes the fixed 128 entries: new still
    # lists every file but says so, and build refuses as it says.
    manifest = large / "older.manifest"
    older = large / "older"
    older.mkdir()
    for name in ("stock.dll", "uninst.exe"):
        shutil.copy(BIN / name, older / name)
    key = "CopyEntriesLimit".encode("utf-16-le")
    image = (BIN / "setup.exe").read_bytes()
    assert key in image
    (older / "setup.exe").write_bytes(image.replace(key, "NoEntriesLimitXX".encode("utf-16-le")))
    listed = kvlship("new", manifest, large / "files", "--engine", older)
    assert listed.returncode == 0 and "lists 1109 files" in listed.stdout, listed.stderr
    assert "installs at most 128 files" in listed.stderr
    refused = kvlship("build", manifest, large / "old-dist", "--engine", older)
    assert refused.returncode == 2
    assert "setup installs at most 128 files; this lists 1109" in refused.stderr


@pytest.fixture(scope="module")
def large_built(large):
    """new and build with this engine; returns the distribution."""
    manifest = large / "large.manifest"
    listed = kvlship("new", manifest, large / "files", "--engine", BIN)
    assert listed.returncode == 0 and listed.stderr == "", listed.stderr
    assert "fast-copy = yes" in manifest.read_text()
    dist = large / "dist"
    built = kvlship("build", manifest, dist, "--engine", BIN, timeout=300)
    assert built.returncode == 0, built.stderr
    return dist


def test_a_large_product_is_built_to_be_copied_fast_in_room_for_every_file(large_built):
    data = (large_built / "kvlsetup.dat").read_bytes().decode("latin-1")
    assert "cbCopyEntries=1109\r\n" in data and "cbFastCopy=1\r\n" in data, data


def test_a_large_product_checks_clean_and_check_gives_the_room_declared(large_built, tmp_path):
    status, result = checked_json(large_built, timeout=300)
    assert status == 0, result["problems"]
    assert len(result["files"]) == 1109
    # The room declared is the room check gives: one entry less and the last file finds none.
    dist = shutil.copytree(large_built, tmp_path / "dist")
    data = (dist / "kvlsetup.dat").read_bytes().decode("latin-1")
    (dist / "kvlsetup.dat").write_bytes(
        data.replace("cbCopyEntries=1109", "cbCopyEntries=1108").encode("latin-1"))
    found = problems(checked_json(dist, timeout=300)[1])
    assert_named(found, "FILELIST", "1 files find no place: setup lists at most 1108")


def test_a_large_product_installs_as_check_planned_under_trial(large_built, tmp_path):
    planned = checked_json(large_built, timeout=300)[1]
    tried = kvlship("try", large_built, "--silent", "--json", "--work", tmp_path / "trial",
                    "--engine", BIN, timeout=600)
    report = json.loads(tried.stdout)
    assert tried.returncode == 0 and report["passed"], report.get("faults")
    landed = [f["path"] for f in report["installed"]
              if not f["path"].endswith(("uninst.exe", "uninst.dat"))]
    assert sorted(landed) == sorted(f["installed"] for f in planned["files"])
