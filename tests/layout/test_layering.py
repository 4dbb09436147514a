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

kvlship (tools/kvlship) has floors of its own, and reads the engine's
portable sources and facts from any of them:

    main.cpp  cli           the command line: the verbs' table and their flags
    build  trial            the build and new verbs; the try verb
    check                   reading a distribution as setup.exe will
    formats                 files kvlship writes or reads: LZ, PE, signatures,
                            the single-file package, the package manager's files
    common                  diagnostics, the distribution's facts, host files,
                            code pages, text, Windows paths, profiles, digests
"""

import re
from pathlib import Path

SRC = Path(__file__).resolve().parents[2] / "src"
FLOORS = {"util": 0, "codec": 0, "core": 1, "record": 1, "copy": 2, "screens": 2, "shortcuts": 2,
          "shell": 3, "uninstall": 3, "package": 3}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def floor_violations(root, floors, outside):
    """Every include under `root` that runs up or sideways, as 'file:
    included'. A file's folder is its first name below `root` ("." for a file
    at its top); `outside(name, floor)` says whether an include that names no
    folder of `floors` is allowed on that floor."""
    found = []
    for path in sorted(root.rglob("*")):
        if path.suffix not in (".h", ".cpp") or "native" in path.parts:
            continue
        relative = path.relative_to(root)
        folder = relative.parts[0] if len(relative.parts) > 1 else "."
        if folder not in floors:
            found.append(f"{relative}: in no known folder")
            continue
        for name in INCLUDE.findall(path.read_text(errors="replace")):
            target = name.split("/")[0] if "/" in name else None
            if target in floors:
                allowed = target == folder or floors[target] < floors[folder]
            else:
                allowed = outside(name, floors[folder])
            if not allowed:
                found.append(f"{relative}: {name}")
    return found


def violations(src):
    """The engine's floors: the module contract above util, plain facts anywhere."""
    def outside(name, floor):
        if name in ("setupmodule.h", "setupexit.h"):
            return floor > 0
        return name in ("setupdist.h", "setupcontrols.h", "setuphooks.h")
    return floor_violations(src, FLOORS, outside)


KVLSHIP = SRC.parent / "tools" / "kvlship"
TOOL_FLOORS = {"common": 0, "formats": 1, "check": 2, "build": 3, "trial": 3, "cli": 4, ".": 5}
# What the tool shares with the engine: its portable sources, the module's
# stock settings, the facts in include/, and its generated prefix settings.
ENGINE_SHARED = ("codec", "copy", "util", "package", "stock")
SHARED_FACTS = ("setupdist.h", "setupexit.h", "setupcontrols.h", "setuphooks.h",
                "kvlship_prefix_settings.h")


def tool_violations(tool):
    """The same rule for kvlship's rooms."""
    return floor_violations(tool, TOOL_FLOORS,
                            lambda name, _: name in SHARED_FACTS or name.split("/")[0] in ENGINE_SHARED)


def test_no_include_runs_up_or_sideways_in_the_tool():
    assert tool_violations(KVLSHIP) == []


def test_the_tool_check_sees_an_include_that_runs_up(tmp_path):
    for folder, text in {"common": '#include "common/a.h"\n#include "check/check.h"\n',
                         "build": '#include "trial/trial.h"\n#include "check/check.h"\n',
                         "formats": '#include "copy/copylist.h"\n#include "core/hooks.h"\n',
                         "rooms": '#include "common/a.h"\n'}.items():
        (tmp_path / folder).mkdir()
        (tmp_path / folder / "a.cpp").write_text(text)
    assert tool_violations(tmp_path) == ["build/a.cpp: trial/trial.h", "common/a.cpp: check/check.h",
                                         "formats/a.cpp: core/hooks.h", "rooms/a.cpp: in no known folder"]


def test_no_include_runs_up_or_sideways():
    assert violations(SRC) == []


def test_the_check_sees_an_include_that_runs_up(tmp_path):
    for folder, text in {"util": '#include "util/text.h"\n#include "core/context.h"\n',
                         "copy": '#include "screens/paint.h"\n#include "core/hooks.h"\n',
                         "core": '#include "setupmodule.h"\n'}.items():
        (tmp_path / folder).mkdir()
        (tmp_path / folder / "a.cpp").write_text(text)
    assert violations(tmp_path) == ["copy/a.cpp: screens/paint.h", "util/a.cpp: core/context.h"]
