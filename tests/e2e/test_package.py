"""The single-file package: the sample product built by kvlship as one
program, run under Wine as a customer runs the download. It expands the
distribution into a private temporary folder, runs setup.exe from there with
its own arguments, hands back setup's exit code and leaves nothing behind; a
damaged download expands nothing and says so. A setup ended from outside is
no complete installation, and a folder a package could not remove goes at the
next run; a name beyond ASCII arrives from the package and the zip alike."""

import re
import subprocess
import zipfile
from pathlib import Path

import pytest

from harness import EXIT_CODES, windows_path

ROOT = Path(__file__).resolve().parents[2]
SAMPLE = ROOT / "sample"
DAMAGED = "The setup file is damaged. Download it again."
CANNOT_RUN = EXIT_CODES["cannot-run"]
BAD_SWITCH = 8  # setupexit.h: SETUP_EXIT_BAD_SWITCH
SAMPLE_FILES = {  # installed below the product's folder: source in the sample
    "DEMO.EXE": None, "Demos/HARBOUR.TXT": "HARBOUR.TXT", "README.TXT": "README.TXT",
    "Data/PORTS.DAT": "PORTS.DAT", "Data/TIDES.DAT": "TIDES.DAT",
    "Docs/Help/GUIDE.TXT": "GUIDE.TXT", "Tables/CHARTS.kvt": "CHARTS.kvt",
    "Resources/COMPASS.BMP": "COMPASS.BMP"}


def build_package(scenario, name="Atlas.exe"):
    """The sample as one program in the scenario's folder; its path."""
    done = subprocess.run(
        [str(scenario.bin / "kvlship"), "build", str(SAMPLE / "atlas.manifest"),
         str(scenario.root / "dist"), "-D", f"BIN={scenario.bin}", "--engine", str(scenario.bin),
         "--package", name], capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stdout + done.stderr
    scenario.program_files()
    return scenario.root / name


def start_package(scenario, package, args=""):
    scenario.start(cmdline=f'"{windows_path(package)}" {args}'.rstrip())


def temporary_folders(scenario):
    """The package folders left in the user's temporary folder."""
    return sorted(p.name for p in scenario.prefix.glob("drive_c/users/*/**/Temp/kvl*"))


def assert_sample_installed(scenario):
    product = scenario.dest / "Harbour Atlas"
    for installed, source in SAMPLE_FILES.items():
        expected = scenario.bin / "demo.exe" if source is None else SAMPLE / "files" / source
        assert (product / installed).read_bytes() == expected.read_bytes(), installed
    assert (product / "ATLAS.INI").exists()


def test_interactive(scenario):
    """The package installs the sample with a person agreeing, and leaves no
    folder behind. (A short name: the demonstration's command line, made of
    the scenario's paths, must stay within 259 characters.)"""
    package = build_package(scenario)
    log = scenario.logs / "setup.log"
    start_package(scenario, package, f'/LOG="{windows_path(log)}"')
    main = scenario.main_window(timeout=60)
    # setup.exe is the package's child: its windows are the ones to act on.
    package_pid, scenario.setup_pid = scenario.setup_pid, main["pid"]
    assert main["pid"] != package_pid
    scenario.screenshot("package-agreement")
    scenario.agree()
    scenario.setup_pid = package_pid
    assert scenario.wait_exit(120) == EXIT_CODES["complete"]
    assert_sample_installed(scenario)
    scenario.wait_demo_launch(scenario.dest / "Harbour Atlas")
    assert temporary_folders(scenario) == []


def test_signed_package_installs_very_silently_from_a_folder_it_removes(scenario, tmp_path):
    if subprocess.run(["which", "osslsigncode"], capture_output=True).returncode != 0:
        pytest.skip("osslsigncode is missing (scripts/common.sh installs it)")
    package = build_package(scenario)
    # Signed as a vendor signs the download: the certificate table goes after the payload.
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=Harbour Charts", "-keyout", str(tmp_path / "key.pem"),
                    "-out", str(tmp_path / "cert.pem")], check=True, capture_output=True)
    signed = scenario.root / "AtlasSigned.exe"
    subprocess.run(["osslsigncode", "sign", "-certs", str(tmp_path / "cert.pem"), "-key",
                    str(tmp_path / "key.pem"), "-in", str(package), "-out", str(signed)],
                   check=True, capture_output=True)
    verified = subprocess.run(["osslsigncode", "verify", "-CAfile", str(tmp_path / "cert.pem"),
                               str(signed)], capture_output=True, text=True)
    assert verified.returncode == 0, verified.stdout + verified.stderr

    log = scenario.logs / "setup.log"
    start_package(scenario, signed, f'/VERYSILENT /LOG="{windows_path(log)}"')
    assert scenario.wait_exit(120) == EXIT_CODES["complete"]
    assert_sample_installed(scenario)
    # setup.exe ran from a folder of the package's making, which is gone now.
    ran = re.search(r'command line: "C:\\(.+)\\setup\.exe" /VERYSILENT', log.read_text())
    assert ran and ran.group(1).split("\\")[-1].startswith("kvl"), log.read_text()
    assert not (scenario.prefix / "drive_c" / ran.group(1).replace("\\", "/")).exists()
    assert temporary_folders(scenario) == []

    # Setup's own exit code comes through the package.
    start_package(scenario, package, "/VERYSILENT /NOSUCH")
    assert scenario.wait_exit() == BAD_SWITCH
    assert temporary_folders(scenario) == []


def test_damaged_or_cut_package_expands_nothing_and_says_so(scenario):
    package = build_package(scenario)
    data = package.read_bytes()
    changed = bytearray(data)
    changed[len(data) - 5000] ^= 0x01  # a byte of the compressed stream
    damaged = scenario.root / "Changed.exe"
    damaged.write_bytes(changed)
    start_package(scenario, damaged)
    box = scenario.wait_message_box()
    scenario.screenshot("damaged")
    assert box["text"] == DAMAGED, box
    assert temporary_folders(scenario) == []
    scenario.press_button(box, "OK")
    assert scenario.wait_exit() == CANNOT_RUN

    cut = scenario.root / "Cut.exe"
    cut.write_bytes(data[: len(data) - 1000])
    log = scenario.logs / "cut.log"
    start_package(scenario, cut, f'/VERYSILENT /LOG="{windows_path(log)}"')
    assert scenario.wait_exit() == CANNOT_RUN
    assert DAMAGED in log.read_text()
    assert temporary_folders(scenario) == []
    assert scenario.tree() == []


def test_setup_ended_from_outside_is_not_complete_and_a_left_folder_goes_next_time(scenario):
    package = build_package(scenario)
    start_package(scenario, package)
    main = scenario.main_window(timeout=60)
    package_pid, scenario.setup_pid = scenario.setup_pid, main["pid"]
    assert scenario.kill_program("setup.exe") == 1
    scenario.setup_pid = package_pid
    box = scenario.wait_message_box()
    assert "ended before it finished" in box["text"], box
    scenario.press_button(box, "OK")
    assert scenario.wait_exit() == CANNOT_RUN
    assert temporary_folders(scenario) == []

    # The package and its setup both ended from outside: the folder stays,
    # and the next package run removes it with its own.
    start_package(scenario, package)
    scenario.main_window(timeout=60)
    assert scenario.kill_program("Atlas.exe") == 1
    assert scenario.kill_program("setup.exe") == 1
    scenario.wait_exit()
    left = temporary_folders(scenario)
    assert len(left) == 1
    log = scenario.logs / "after.log"
    start_package(scenario, package, f'/VERYSILENT /LOG="{windows_path(log)}"')
    assert scenario.wait_exit(120) == EXIT_CODES["complete"], log.read_text()
    assert temporary_folders(scenario) == []


def test_a_name_beyond_ascii_installs_from_the_package_and_from_the_zip(scenario):
    product = scenario.root / "product"
    product.mkdir()
    (product / "a.txt").write_text("\u00fcber alles\n", encoding="utf-8")
    (product / "licence.txt").write_text("Use it well.\n")
    (product / "p.manifest").write_text(
        "[package]\ntitle = Tiny\nlicence = licence.txt\nmodule = stock\nid = Harbour.Tiny\n"
        "version = 1.0\npublisher = Harbour Charts\nlicence-name = Mine\ndescription = Tiny\n"
        "download-url = https://example.com/Harbour.Tiny-1.0.zip\n"
        "[files]\n\u00dcbersicht.txt = a.txt\n", encoding="utf-8")
    done = subprocess.run(
        [str(scenario.bin / "kvlship"), "build", str(product / "p.manifest"),
         str(scenario.root / "dist"), "--engine", str(scenario.bin), "--package", "Tiny.exe"],
        capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stdout + done.stderr
    expected = (product / "a.txt").read_bytes()

    log = scenario.logs / "package.log"
    into = scenario.dest / "package"
    start_package(scenario, scenario.root / "Tiny.exe",
                  f'/VERYSILENT /DIR="{windows_path(into)}" /LOG="{windows_path(log)}"')
    assert scenario.wait_exit(120) == EXIT_CODES["complete"], log.read_text()
    assert (into / "\u00dcbersicht.txt").read_bytes() == expected

    # The product is installed once: the package's installation goes first.
    quiet = scenario.registry_values(
        r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Harbour.Tiny")
    assert scenario.run(cmdline=quiet["QuietUninstallString"][1], timeout=90) == 0

    # What a package manager downloads: the zip, unpacked by its UTF-8 names.
    unzipped = scenario.root / "unzipped"
    with zipfile.ZipFile(scenario.root / "dist.winget" / "Harbour.Tiny-1.0.zip") as archive:
        assert "\u00dcbersicht.tx_" in archive.namelist()
        archive.extractall(unzipped)
    log = scenario.logs / "zip.log"
    into = scenario.dest / "zip"
    scenario.start(cmdline=f'"{windows_path(unzipped / "setup.exe")}" /VERYSILENT '
                           f'/DIR="{windows_path(into)}" /LOG="{windows_path(log)}"')
    assert scenario.wait_exit(120) == EXIT_CODES["complete"], log.read_text()
    assert (into / "\u00dcbersicht.txt").read_bytes() == expected


def test_a_folder_only_named_as_the_packages_gives_none_of_its_files_up(scenario):
    # Named as the package names its folder, below the user's temporary
    # folder, with a mark file; but the handle passed is not that mark held
    # open: setup copies, and the folder keeps every file.
    scenario.add_module("defsetup", dll="stock.dll")
    scenario.add_file("PLAIN.TXT", "plain\r\n")
    scenario.write_setup_data(title="Tiny", items=["PLAIN.TXT, T, , 0, 0, 1, 0;"],
                              extra={"PRODUCT": {"cbFolder": "Tiny", "cbConflict": "keep"}})
    scenario.program_files()
    scenario.wine("cmd", "/c", "exit")  # the prefix, with its temporary folder
    temp = next(scenario.prefix.glob("drive_c/users/*/**/Temp"))
    folder = temp / "kvl0123456789abcdef"
    folder.mkdir()
    for item in scenario.src.iterdir():
        (folder / item.name).write_bytes(item.read_bytes())
    (folder / "setup.exe").write_bytes((scenario.bin / "setup.exe").read_bytes())
    (folder / "kvl0123456789abcdef.run").write_bytes(b"")
    log = scenario.dest / "setup.log"
    # Started by its C: path, as the package starts it and as the system names the temporary folder.
    program = "C:\\" + str((folder / "setup.exe").relative_to(scenario.prefix / "drive_c"))
    program = program.replace("/", "\\")
    for handle in ("4", "not-a-handle"):
        scenario.start(cmdline=f'"{program}" /VERYSILENT '
                               f'/FROMPACKAGE={handle} /LOG="{windows_path(log)}"')
        assert scenario.wait_exit(60) == EXIT_CODES["complete"], log.read_text()
        assert (folder / "PLAIN.TXT").read_bytes() == b"plain\r\n"
        assert (scenario.dest / "Tiny" / "PLAIN.TXT").read_bytes() == b"plain\r\n"
    text = log.read_text()
    assert text.count("source: /FROMPACKAGE= ignored, the handle is not") == 2, text
    assert "moved from the package's folder" not in text, text
