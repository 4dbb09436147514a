"""Signing, against a CA made here and trusted nowhere else: a signed build
verifies, check names what was altered or left unsigned, and signing that
cannot work is refused before anything is written."""
import os
import shutil
import subprocess

import pytest

from conftest import (BIN, BUILD, SAMPLE, assert_named, checked_json, kvlship, problems, product,
                      verifies)


@pytest.fixture(scope="module")
def signed_build(tmp_path_factory, vendor_certificate):
    """The sample built signed, with its package; returns (folder, dist)."""
    pfx, password, _ = vendor_certificate
    folder = tmp_path_factory.mktemp("signed")
    done = kvlship("build", SAMPLE, folder / "dist", "-D", f"BIN={BIN}", "--engine", BIN,
                   "--sign", pfx, "--password-file", password, "--package", "Atlas.exe")
    assert done.returncode == 0, done.stderr
    return folder, folder / "dist"


def test_signed_build_verifies_and_checks_clean_against_its_ca(
        signed_build, vendor_certificate, tmp_path):
    folder, dist = signed_build
    ca = vendor_certificate[2]
    # The package is signed last, over its payload and version information.
    package = bytearray((folder / "Atlas.exe").read_bytes())
    assert verifies(folder / "Atlas.exe", ca)
    package[(BIN / "kvlpack.exe").stat().st_size + 64] ^= 1  # past the stub: in the payload
    (tmp_path / "Altered.exe").write_bytes(package)
    assert not verifies(tmp_path / "Altered.exe", ca)
    # The product's own program is signed before it is compressed.
    with open(dist / "DEMO.EX_", "rb") as stored, open(tmp_path / "DEMO.EXE", "wb") as expanded:
        subprocess.run(["msexpand"], stdin=stored, stdout=expanded, check=True)
    for program in (dist / "setup.exe", dist / "uninst.exe", dist / "defsetup.dll",
                    tmp_path / "DEMO.EXE"):
        assert verifies(program, ca), program
    status, result = checked_json(dist, "--ca", ca)
    assert status == 0, result
    # Without the private CA, the chain leads to no root the host trusts.
    assert_named(problems(checked_json(dist)[1]), "setup.exe", "its certificate is not trusted")


def test_check_names_an_altered_and_an_unsigned_program(signed_build, vendor_certificate,
                                                        tmp_path):
    ca = vendor_certificate[2]
    dist = shutil.copytree(signed_build[1], tmp_path / "dist")
    setup = bytearray((dist / "setup.exe").read_bytes())
    setup[0x400] ^= 1
    (dist / "setup.exe").write_bytes(setup)
    assert not verifies(dist / "setup.exe", ca)
    shutil.copyfile(BIN / "uninst.exe", dist / "uninst.exe")
    found = problems(checked_json(dist, "--ca", ca)[1])
    assert_named(found, "setup.exe", "was changed after it was signed")
    assert_named(found, "uninst.exe", "is not signed")


def test_check_says_once_that_signatures_were_not_verified_without_osslsigncode(signed_build):
    result = checked_json(signed_build[1], env={"PATH": "/nonexistent"})[1]
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


def test_signing_that_works_leaves_no_temporary_file_beside_what_it_signed(signed_build):
    folder, dist = signed_build
    assert not [p.name for p in dist.iterdir() if p.name.endswith(".signing")]
    assert not [p.name for p in folder.iterdir() if p.name.endswith(".signing")]


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
