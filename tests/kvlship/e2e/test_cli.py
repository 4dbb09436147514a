"""kvlship's command line: the help, the version, and calls it cannot act
on, refused with the verb's usage line before anything runs."""
from conftest import BIN, kvlship, version_strings


def test_help_lists_the_verbs_and_a_verbs_help_starts_with_its_usage():
    for asked in (["--help"], ["-h"], ["help"]):
        said = kvlship(*asked)
        assert said.returncode == 0 and "  try DIST" in said.stdout, (asked, said)
    said = kvlship("check", "--help")
    assert said.returncode == 0 and said.stdout.startswith("usage: kvlship check DIST [--dest DIR]")
    assert "Example:\n  kvlship check " in said.stdout, said.stdout


def test_version_is_the_one_setup_exe_states():
    version = kvlship("--version")
    assert version.returncode == 0 and version.stdout.split()[:2] == ["kvlship", "1.0.0"], version
    # The one version: setup.exe's version information says the same.
    strings = version_strings(BIN / "setup.exe")
    assert strings["FileVersion"] == strings["ProductVersion"] == "1.0.0", strings


def test_another_verbs_flag_is_refused_with_this_verbs_usage_line(tmp_path):
    said = kvlship("check", tmp_path, "--silent")
    assert said.returncode == 2 and "--silent is not a flag of kvlship check" in said.stderr
    assert "usage: kvlship check DIST" in said.stderr, said.stderr


def test_a_file_that_is_no_package_is_refused_where_a_distribution_is_wanted(tmp_path):
    # Nothing ran: no work folder, nothing on stdout.
    setup = tmp_path / "TidewatchSetup.exe"
    setup.write_bytes(b"MZ not a package")
    said = kvlship("try", setup, "--work", tmp_path / "work")
    assert said.returncode == 2 and said.stdout == "", said.stdout
    assert said.stderr == f"kvlship: {setup} is a file, not a distribution folder or a package " \
                          "kvlship made\n", said.stderr
    assert not (tmp_path / "work").exists()
    said = kvlship("check", setup)
    assert said.returncode == 2 and f"{setup} is a file, not a distribution folder" in said.stderr
