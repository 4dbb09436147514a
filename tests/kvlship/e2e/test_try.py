"""kvlship try: the sample installs and goes again; what a run does wrong
(an error box, a box of the demonstration, a shortcut or setting not made,
a folder other than --dest) fails it; upgrades, 64-bit prefixes and the
single-file package; and a hostile module is kept off the host."""
import os
import shutil
from pathlib import Path

import pytest

from conftest import BIN, SAMPLE, build_sample, built, checked_json, kvlship, product, trial


def test_sample_installs_under_trial_as_check_planned_and_goes_again(sample_dist, tmp_path):
    installed = {f["installed"] for f in checked_json(sample_dist)[1]["files"]}
    status, report = trial(sample_dist, tmp_path / "trial")
    assert status == 0 and report["passed"], report
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


def test_silent_trial_passes_the_sample_and_reads_its_log(sample_dist, tmp_path):
    status, report = trial(sample_dist, tmp_path / "trial", "--silent")
    assert status == 0 and report["passed"], report
    assert report["silent"] and report["screenshots"] == []
    assert report["exitMeaning"] == "the installation is complete"
    assert report["logLines"][-1].endswith("setup ended: exit code 0, the installation is complete")
    assert Path(report["log"]).parent == (tmp_path / "trial" / "logs").resolve()
    # The trial's own copy of the prefix goes; the kept one, named, stays.
    assert not (tmp_path / "trial" / "prefix").exists() and not report["prefixCopyKept"]
    assert report["prefixCopyBytes"] > 0, report["prefixCopy"]
    assert Path(report["keptPrefix"]).is_dir() and report["keptPrefixBytes"] > 0, report


def test_trial_in_a_64_bit_prefix_installs_into_the_32_bit_program_files(sample_dist, tmp_path):
    planned = checked_json(sample_dist)[1]
    assert planned["destination64"] == "C:\\Program Files (x86)\\Harbour Atlas"
    status, report = trial(sample_dist, tmp_path / "trial", "--silent", "--win64")
    assert status == 0 and report["passed"], report
    assert report["win64"] and report["destination"] == planned["destination64"]
    assert report["uninstall"][0]["command"].startswith('"C:\\Program Files (x86)\\Harbour Atlas')
    assert report["leftBehind"] == []


def test_trial_reads_an_error_box_and_ends(tmp_path):
    dist = build_sample(tmp_path / "dist")
    (dist / "defsetup.dll").unlink()
    status, report = trial(dist, tmp_path / "trial", timeout=300)
    assert status == 2 and not report["passed"]
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
    done = kvlship("build", SAMPLE, dist, "-D", f"BIN={programs}", "--engine", BIN)
    assert done.returncode == 0, done.stderr
    data = dist / "kvlsetup.dat"
    data.write_text(data.read_text().replace("cbDemoDocument=HARBOUR.TXT",
                                             "cbDemoDocument=MISSING.TXT"))
    status, report = trial(dist, tmp_path / "trial")
    assert status == 2 and not report["passed"], report
    assert report["exitMeaning"] == "the installation is complete"
    assert any(f.startswith("the demonstration showed the box") and "MISSING.TXT" in f
               for f in report["faults"]), report["faults"]


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


def test_a_module_that_registers_no_removal_passes_its_trial_with_a_warning(tmp_path):
    # A module of its own, written to the contract before registration existed.
    dist = built(product(tmp_path / "src", files="A.TXT = a.txt\nSub\\B.TXT = a.txt\n",
                         module=BIN / "empty.dll"), tmp_path / "dist")
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
    status, report = trial(dist, root / "trial", "--keep", "--timeout", 240, timeout=300,
                           env={**os.environ, "KVLSHIP_HOSTILE": str(root / "target")})
    return root, status, report


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
