"""The floors of the shell's sources: a folder includes its own headers and
those of the floors below it, never a higher floor nor a neighbour on its own
floor. The module contract (setupmodule.h) is for every floor above util; the
distribution's facts (setupdist.h) are for every floor.

    shell  uninstall  package  setup.exe's entry point, main window, the sequence;
                            uninst.exe; the single-file package's stub
    copy  screens  shortcuts  the subsystems
    core  record            process-wide state, hook calls, deferred post, protocol;
                            the install record's format and file
    util  codec             text, paths, files, windows, registry; the LZ format
                            and its expansion
"""

import re
from pathlib import Path

SRC = Path(__file__).resolve().parents[2] / "src"
FLOORS = {"util": 0, "codec": 0, "core": 1, "record": 1, "copy": 2, "screens": 2, "shortcuts": 2,
          "shell": 3, "uninstall": 3, "package": 3}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def violations(src):
    """Every include that runs up or sideways, as 'file: included'."""
    found = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        folder = path.relative_to(src).parts[0]
        if folder not in FLOORS:
            found.append(f"{path.relative_to(src)}: in no known folder")
            continue
        for name in INCLUDE.findall(path.read_text(errors="replace")):
            target = name.split("/")[0] if "/" in name else None
            if name in ("setupmodule.h", "setupexit.h"):
                allowed = FLOORS[folder] > 0
            elif name in ("setupdist.h", "setupcontrols.h"):
                allowed = True  # plain facts, no header of their own
            elif target in FLOORS:
                allowed = target == folder or FLOORS[target] < FLOORS[folder]
            else:
                allowed = False
            if not allowed:
                found.append(f"{path.relative_to(src)}: {name}")
    return found


def test_no_include_runs_up_or_sideways():
    assert violations(SRC) == []


def test_the_check_sees_an_include_that_runs_up(tmp_path):
    for folder, text in {"util": '#include "util/text.h"\n#include "core/context.h"\n',
                         "copy": '#include "screens/paint.h"\n#include "core/hooks.h"\n',
                         "core": '#include "setupmodule.h"\n'}.items():
        (tmp_path / folder).mkdir()
        (tmp_path / folder / "a.cpp").write_text(text)
    assert violations(tmp_path) == ["copy/a.cpp: screens/paint.h", "util/a.cpp: core/context.h"]
