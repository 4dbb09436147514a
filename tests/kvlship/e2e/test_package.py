"""What build writes beside the distribution: the package manager's archive
and manifest (winget), and the single-file package (--package)."""
import copy
import hashlib
import json
import zipfile

import jsonschema
import pytest
import yaml

from conftest import BIN, SAMPLE, WINGET_SCHEMA, build_sample, files_of, kvlship, version_strings


def test_sample_winget_manifest_is_valid_for_a_zip_of_the_distribution(tmp_path):
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


def build_package(out, name):
    return kvlship("build", SAMPLE, out, "-D", f"BIN={BIN}", "--engine", BIN, "--package", name)


@pytest.fixture(scope="module")
def sample_package(tmp_path_factory):
    """The sample built as a folder alone and again with its package."""
    folder = tmp_path_factory.mktemp("package")
    plain = build_sample(folder / "plain")
    done = build_package(folder / "dist", "Atlas.exe")
    assert done.returncode == 0, done.stderr
    return folder, plain


def test_single_file_package_carries_the_products_version_beside_an_unchanged_folder(
        sample_package):
    import pefile

    folder, plain = sample_package
    assert files_of(folder / "dist") == files_of(plain)
    package = folder / "Atlas.exe"
    pe = pefile.PE(str(package))
    assert pe.FILE_HEADER.Characteristics & 0x2000 == 0  # a program, not a DLL
    assert pe.OPTIONAL_HEADER.Subsystem == 2  # GUI
    assert pe.OPTIONAL_HEADER.CheckSum == pe.generate_checksum() != 0
    assert version_strings(package) == {
        "CompanyName": "Harbour Charts", "ProductName": "Harbour Atlas",
        "ProductVersion": "2.1", "FileVersion": "2.1", "InternalName": "Atlas",
        "OriginalFilename": "Atlas.exe",
        "FileDescription": "Sea charts, ports and tides of the harbour, with a guided tour"}
    assert pe.VS_FIXEDFILEINFO[0].FileVersionMS == 0x00020001
    # setup.exe keeps the engine's own version information.
    assert (folder / "dist" / "setup.exe").read_bytes() == (BIN / "setup.exe").read_bytes()
    # The payload is smaller than the folder it carries.
    assert package.stat().st_size < sum(len(b) for b in files_of(plain).values())


def test_a_build_replaces_its_own_package_and_nothing_else_of_that_name(sample_package):
    folder, _ = sample_package
    package = folder / "Atlas.exe"
    before = package.read_bytes()
    again = build_package(folder / "dist", "Atlas.exe")
    assert again.returncode == 0, again.stderr
    assert package.read_bytes() == before
    (folder / "Mine.exe").write_bytes(b"the vendor's own program")
    for name, fragment in (("Mine.exe", "no package that kvlship wrote"),
                           ("sub/Atlas.exe", "plain file name"), ("Atlas.zip", "ending in .exe")):
        refused = build_package(folder / "other", name)
        assert refused.returncode == 2 and fragment in refused.stderr, (name, refused.stderr)
    assert (folder / "Mine.exe").read_bytes() == b"the vendor's own program"
