"""Products of any size: more files than the fixed copy list holds, a copy
at the fast pace that still answers the Cancel question in the middle of a
large file, and a file of more than 4 GiB, each installed and removed."""

import os
import re
import subprocess

import pytest

from harness import windows_path

GIB = 1 << 30


def kvlship(scenario, *args, timeout=600):
    done = subprocess.run([str(scenario.bin / "kvlship"), *map(str, args)], capture_output=True,
                          text=True, timeout=timeout, stdin=subprocess.DEVNULL)
    assert done.returncode == 0, done.stdout + done.stderr
    return done


def product_of(folder, count=1109, programs=300):
    """`count` files below `folder`: `programs` small DLL-like ones in bin\\,
    the rest texts in docs\\ and its sub-folders."""
    for i in range(count):
        if i < programs:
            path = folder / "bin" / f"lib{i:04d}.dll"
            content = b"MZ" + bytes((i * 7 + n) & 0xFF for n in range(2048 + i))
        else:
            path = folder / "docs" / f"part{i % 9}" / f"note{i:04d}.txt"
            content = f"note {i}\r\n".encode() * (1 + i % 50)
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content)


def build(scenario, files):
    """kvlship new and build: the distribution in scenario.src, its id Harbour.Large."""
    manifest = scenario.root / "large.manifest"
    (scenario.root / "licence.txt").write_text("Use it well.\n")
    kvlship(scenario, "new", manifest, files, "--engine", scenario.bin)
    text = manifest.read_text().replace("MyCompany.MyProduct", "Harbour.Large")
    manifest.write_text(text)
    return kvlship(scenario, "build", manifest, scenario.src, "--engine", scenario.bin)


def installed_files(folder):
    return sorted(str(p.relative_to(folder)).replace("/", "\\").lower()
                  for p in folder.rglob("*") if p.is_file())


def remove(scenario):
    quiet = scenario.registry_values(
        r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Harbour.Large")
    assert quiet, scenario.report("the product is not registered")
    assert scenario.run(cmdline=quiet["QuietUninstallString"][1], timeout=300) == 0, \
        scenario.report("uninst.exe")


def free_room(path):
    stat = os.statvfs(path)
    return stat.f_bavail * stat.f_frsize


def test_a_product_of_1109_files_installs_interactively_and_silently_and_is_removed(scenario):
    files = scenario.root / "product"
    product_of(files)
    build(scenario, files)
    dest = scenario.dest / "My Product"
    data = (scenario.src / "kvlsetup.dat").read_text()
    assert "cbCopyEntries=1109" in data and "cbFastCopy=1" in data, data
    scenario.program_files()
    expected = installed_files(files)

    for run in ("interactive", "silent"):
        if run == "interactive":
            scenario.start(None)
            scenario.agree()
            # kvlship new asks for the user's own folder: the one proposed is taken.
            scenario.accept_folder()
            scenario.wait_success(300)
        else:
            assert scenario.run("/VERYSILENT", timeout=300) == 0, scenario.report("silent")
        got = [name for name in installed_files(dest) if name not in ("uninst.exe", "uninst.dat")]
        assert got == expected, scenario.report(f"{run}: {len(got)} files of {len(expected)}")
        assert (dest / "bin" / "lib0299.dll").read_bytes() == \
            (files / "bin" / "lib0299.dll").read_bytes()
        record = (dest / "uninst.dat").read_text()
        assert len(re.findall(r"^file\t", record, re.M)) == len(expected) + 1, run  # and uninst.exe
        remove(scenario)
        assert not dest.exists() or not any(dest.rglob("*")), scenario.tree(dest)


def test_cancel_answered_no_then_yes_in_the_middle_of_a_large_file_leaves_the_old_one(scenario):
    size = 3 * GIB
    if free_room(scenario.root) < size + GIB:
        pytest.skip(f"the disk has {free_room(scenario.root) // GIB} GiB free, "
                    f"the copy needs {size // GIB + 1}")
    scenario.add_module("probe")
    with open(scenario.add_file("BIG.DAT"), "r+b") as big:
        big.truncate(size)  # sparse: only the copy writes it out
    scenario.write_setup_data(items=["BIG.DAT, T, , 0, 0, 1, 0;"],
                              extra={"GENERAL": {"cbTitle": "Large", "cbFastCopy": "1"}})
    folder = scenario.program_files() / "KarveloEngine"
    folder.mkdir()
    (folder / "BIG.DAT").write_bytes(b"the old file")
    scenario.probe.answer("UserCancel", 1, 0)  # No, then Yes
    scenario.start("probe")
    scenario.agree()
    main = scenario.main_window()

    def temporaries():
        return [p for p in folder.iterdir() if p.name.lower().endswith(".tmp")]

    for asked in (1, 2):
        scenario.wait_until(lambda: temporaries() and temporaries()[0].stat().st_size > 0,
                            what="the large file's copy never started")
        scenario.click_client(main.hwnd, 541, 411)
        scenario.wait_call("UserCancel", n=asked)
    scenario.wait_end("cancelled")
    assert (folder / "BIG.DAT").read_bytes() == b"the old file"
    assert temporaries() == [], scenario.tree(folder)


def test_a_file_of_more_than_4_gib_is_built_plain_installed_and_removed(scenario):
    size = 4 * GIB + 4096
    if free_room(scenario.root) < 2 * size + GIB:
        pytest.skip(f"the disk has {free_room(scenario.root) // GIB} GiB free; the build's "
                    f"copy and the installed file need {2 * size // GIB + 1}")
    files = scenario.root / "product"
    files.mkdir()
    with open(files / "huge.bin", "wb") as huge:
        huge.truncate(size)
        huge.seek(size - 5)
        huge.write(b"last!")
    (files / "small.txt").write_text("small\n")
    built = build(scenario, files)
    assert re.search(r"huge\.bin.*more than the LZ format can; it ships plain", built.stderr), \
        built.stderr
    stored = [p for p in scenario.src.iterdir() if p.name.lower().startswith("huge.bi")]
    assert [p.stat().st_size for p in stored] == [size], stored
    dest = scenario.program_files() / "My Product"

    assert scenario.run("/VERYSILENT", timeout=600) == 0, scenario.report("setup")
    assert (dest / "huge.bin").stat().st_size == size
    with open(dest / "huge.bin", "rb") as huge:
        huge.seek(size - 5)
        assert huge.read() == b"last!"
    record = (dest / "uninst.dat").read_text()
    assert re.search(rf"^file\t{size:x}\t\w+\t.*huge\.bin\r?$", record, re.M), record
    remove(scenario)
    assert not (dest / "huge.bin").exists(), scenario.tree(dest)


def test_a_declared_copy_list_setup_cannot_take_is_refused_before_anything_is_installed(scenario):
    scenario.add_module("probe")
    scenario.add_file("A.TXT", "a")
    scenario.write_setup_data(items=["A.TXT, T, , 0, 0, 1, 0;"],
                              extra={"GENERAL": {"cbTitle": "Large", "cbCopyEntries": "65537"}})
    scenario.program_files()
    log = scenario.dest / "setup.log"
    assert scenario.run(f'/VERYSILENT probe /LOG="{windows_path(log)}"') == 8
    assert "cbCopyEntries is not a number from 0 to 65536: 65537" in log.read_text(), \
        log.read_text()
    assert scenario.tree() == ["setup.log"], scenario.tree()
