"""What kvlship's end-to-end tests share: calling the tool, building the
sample and small products, reading what it printed and wrote, and a
throwaway certificate to sign with. Each test_*.py covers one verb or
subject and is a CTest entry of its own (kvlship_<subject>)."""
import json
import os
import subprocess
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[3]
BUILD = Path(os.environ.get("BUILD_DIR", ROOT / "build")).absolute()
BIN = BUILD / "bin"
WINGET_SCHEMA = Path(__file__).parents[1] / "winget" / "manifest.singleton.1.10.0.json"
SAMPLE = ROOT / "sample" / "atlas.manifest"


def kvlship(*args, timeout=120, env=None, cwd=None):
    return subprocess.run([str(BIN / "kvlship"), *map(str, args)], capture_output=True, text=True,
                          timeout=timeout, stdin=subprocess.DEVNULL, env=env, cwd=cwd)


def build_sample(out):
    done = kvlship("build", SAMPLE, out, "-D", f"BIN={BIN}", "--engine", BIN)
    assert done.returncode == 0, done.stderr
    return out


def checked_json(dist, *args, timeout=120, env=None):
    """kvlship check --json: its exit status and its report."""
    done = kvlship("check", dist, "--json", *args, timeout=timeout, env=env)
    return done.returncode, json.loads(done.stdout)


def files_of(folder):
    return {p.name: p.read_bytes() for p in sorted(folder.iterdir())}


def problems(result):
    return {(p["key"], p["text"]) for p in result["problems"]}


def assert_named(found, key, fragment):
    assert any(k == key and fragment in text for k, text in found), \
        f"no problem for {key} with {fragment!r} in:\n" + "\n".join(map(str, sorted(found)))


def product(folder, files="A.TXT = a.txt\n", module="stock", title="Tiny"):
    """A manifest with its licence and one source file in `folder`."""
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "a.txt").write_text("a file\n")
    (folder / "licence.txt").write_text("Use it well.\n")
    manifest = folder / "p.manifest"
    manifest.write_text(f"[package]\ntitle = {title}\nlicence = licence.txt\nmodule = {module}\n"
                        f"[files]\n{files}")
    return manifest


def built(manifest, out):
    done = kvlship("build", manifest, out, "--engine", BIN)
    assert done.returncode == 0, done.stderr
    return out


def add_lines(dist, *lines):
    """Appends file-list lines to those the build wrote; returns their keys."""
    # The data file is in setup's code page, 1252 here.
    head, tail = (dist / "kvlsetup.dat").read_text("latin-1").split("[FILELIST]\n")
    count = tail.split("\n[")[0].count("cbItem")
    keys = [f"cbItem{count + n:02}" for n in range(len(lines))]
    items = "".join(f"{key}={line}\n" for key, line in zip(keys, lines))
    (dist / "kvlsetup.dat").write_text(head + "[FILELIST]\n" + items + tail, "latin-1")
    return keys


def trial(dist, work, *args, timeout=400, env=None):
    """kvlship try --json: its exit status and its report."""
    tried = kvlship("try", dist, "--work", work, "--engine", BIN, "--json", *args, timeout=timeout,
                    env=env)
    return tried.returncode, json.loads(tried.stdout)


def version_strings(path):
    """The StringFileInfo of a program's version information, as text."""
    import pefile

    pe = pefile.PE(str(path))
    return {k.decode(): v.decode() for info in pe.FileInfo[0] if info.Key == b"StringFileInfo"
            for table in info.StringTable for k, v in table.entries.items()}


def verifies(path, ca):
    return subprocess.run(["osslsigncode", "verify", "-CAfile", ca, "-in", path],
                          capture_output=True).returncode == 0


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


@pytest.fixture(scope="module")
def sample_dist(tmp_path_factory):
    """The sample's distribution, built once for the tests that only read it."""
    return build_sample(tmp_path_factory.mktemp("sample") / "dist")
