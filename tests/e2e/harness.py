"""The end-to-end test bench: runs the real setup.exe under Wine on a private
virtual display, with real modules built from this project's sources, and
looks at what it shows and what lands on disk.

One pytest session (one test file under CTest) owns:
  - one Xvfb per colour depth asked for (24 bits unless a scenario asks for 8),
    started on first use with -displayfd and ended with the session;
  - a template Wine prefix under BUILD_DIR/e2e/prefix-template, made once per
    build folder and Wine version (wineboot takes ~10 s) and shared by later
    sessions under a file lock.

Each scenario (the `scenario` fixture of conftest.py) gets a folder
BUILD_DIR/e2e/<test file>/<test name>/ holding:
  src/      the source folder: setup.exe, the module(s), kvlsetup.dat,
            distribution files, probe.ini and the probe's log (probe.log)
  dest/     a destination area for the scenario's own use
  work/     the current folder setup.exe is started in (on purpose neither
            src nor dest: the shell must find its files by its own path)
  shots/    screenshots
  logs/     output of Wine and of the bench's own programs
  prefix/   the scenario's copy of the template prefix: big files that Wine
            never writes (system32, winsxs) are hard links, everything else is
            copied; removed when the scenario ends
The scenario has its own wineserver (kept up with -p while it runs, ended with
`wineserver -k` under its own WINEPREFIX), so nothing of one scenario reaches
another. Nothing the bench did not start is ever ended.

Measured on a 2-core machine: making the template takes 11-12 s (once); a
scenario's copy of it 0.02-0.03 s, where a full copy (590 MB) takes 1.5 s; a
start-up scenario from layout to its end about 1.5 s, the first Wine program
of a fresh prefix about 0.7 s of that.

The probe module (tests/probe) is configured through `scenario.probe`, which
becomes src/probe.ini when setup starts (and may be rewritten while it runs
with `scenario.write_probe_ini()`: the probe reads it at every call). The
format is documented at the top of tests/probe/probe.cpp:

  [probe]          log=probe.log   syscommands=1 (log the system commands that reach
                   the default processing)
  [<Hook>]         answer=1,0,...   do1=<action> do2=...   title= titleFill= destDir=
                   program= document=
  [<Hook>#<n>]     do1=... for the n-th call only
  [sender]         register=1 reply=0x8000 delay=<ms>
  actions: send MSG W L | copy k=v|... | copyunterminated k=v|... | addin k=v|... |
           filelist NAME | shortcut k=v|... | repaint | exit | startsender |
           sleep MS | pump MS | exists PATH | caption | crash

Its log (scenario.log()) is a list of dicts, one per line, each with "event":
attach, detach (freed), call (hook, n, arguments), write, action, return
(hook, n, result), register, sender-created, sender, reply, syscommand (command,
active).

What every scenario does goes through the Scenario's verbs: presentation()
and agree() (the presentation dialog and its "I Agree"), wait_status(text),
wait_copy_window(), wait_message_box(), wait_demo_launch(folder),
wait_end(how) (the end with the exit code named in EXIT_CODES), wait_success()
(a complete installation), wait_until(condition, timeout,
what) for anything else, and add_compressed(name, content) (a source file
packed by the independent mscompress); lnk_fields(path) reads a shortcut with
the independent lnkinfo; hold_file(path) keeps a file in use, and
registry_values(key) reads a key back with `wine reg query`; kill_program(name)
ends the scenario's own program of that file name as a crash does;
registered_stock_product(id, version, files) lays out a product the stock
module installs and registers, version after version; small_drive(letter,
kib) maps a drive of that size (a tmpfs in a mount namespace the scenario's
Wine runs in), which tree() and in_mounts(command) look at from there.
"""

import ast
import fcntl
import json
import os
import re
import shutil
import signal
import struct
import subprocess
import time
from pathlib import Path

import pytest

WM_CLOSE = 0x0010
WM_COMMAND = 0x0111
WM_SYSCOMMAND = 0x0112
SC_SIZE = 0xF000
SC_MOVE = 0xF010
SC_MINIMIZE = 0xF020
SC_MAXIMIZE = 0xF030
SC_CLOSE = 0xF060
SC_SCREENSAVE = 0xF140

WS_CHILD = 0x40000000
WS_VISIBLE = 0x10000000
WS_DISABLED = 0x08000000
WS_CAPTION = 0x00C00000
WS_BORDER = 0x00800000
WS_DLGFRAME = 0x00400000
WS_SYSMENU = 0x00080000
WS_THICKFRAME = 0x00040000
WS_MINIMIZEBOX = 0x00020000
WS_MAXIMIZEBOX = 0x00010000

MAIN_CLASS = "SETUP_CLASS"
MESSAGE_BOX_CLASS = DIALOG_CLASS = "#32770"
COPY_CLASS = "COPYINGWND"



def read_controls():
    """The shell's dialogs' ids, captions and texts, from the header that the
    resource script and the shell read them from."""
    header = Path(__file__).resolve().parents[2] / "include" / "setupcontrols.h"
    return {name: ast.literal_eval(value) for name, value in
            re.findall(r'^#define (\w+) (\d+|"[^"\n]*")$', header.read_text(), re.M)}


# The presentation dialog's caption and buttons, the status dialogs' caption,
# static control and texts.
CONTROLS = read_controls()
PRESENT_CAPTION = CONTROLS["SETUP_DIALOG_CAPTION"]
AGREE_BUTTON = CONTROLS["IDC_AGREE"]
EXIT_BUTTON = CONTROLS["IDC_EXIT"]
STATUS_TEXT = CONTROLS["IDC_STATUS"]
PREPARING = CONTROLS["SETUP_PREPARING_TEXT"]
SHORTCUTS = CONTROLS["SETUP_SHORTCUTS_TEXT"]

# setup.exe's exit codes, as setupmodule.h documents them.
EXIT_CODES = {"complete": 0, "declined": 1, "module": 2, "cancelled": 3, "file-failed": 4,
              "cannot-run": 5, "sender": 6, "closed": 7, "no-space": 9,
              "restart": 3010}

# Limits of the waits, in seconds: generous, since a loaded machine (tests run
# side by side) slows Wine down; polls are fast, so a pass never waits for them.
WAIT = 30.0
EXIT_WAIT = 30.0
RUN_WAIT = 90.0  # a whole setup run: the copy and two status dialogs of ~4 s
POLL = 0.05

WINE_ENV = {
    "WINEARCH": "win32",
    "WINEDEBUG": "-all",
    # Wine must never offer to install Mono or Gecko: with a display that
    # question is a window that waits forever.
    "WINEDLLOVERRIDES": "mscoree,mshtml=",
}

# The settings of every prefix of ours, shared with scripts/common.sh.
PREFIX_REG = Path(__file__).resolve().parents[2] / "scripts" / "wine-prefix.reg"


class BenchError(AssertionError):
    """A failure of a scenario, its message carrying the scenario's state."""


def windows_path(path):
    """The Windows name of a Linux path: drive Z: is the Linux root."""
    return "Z:" + str(Path(path).absolute()).replace("/", "\\")


def png_size(path):
    """(width, height) of a PNG file."""
    with open(path, "rb") as picture:
        header = picture.read(24)
    if header[:8] != b"\x89PNG\r\n\x1a\n":
        raise BenchError(f"{path} is not a PNG")
    return struct.unpack(">II", header[16:24])


def build_dir():
    value = os.environ.get("BUILD_DIR")
    if not value:
        raise RuntimeError("BUILD_DIR is not set: run the e2e tests through CTest "
                           "(scripts/test.sh), or set BUILD_DIR to a build folder")
    path = Path(value).absolute()
    if not (path / "bin" / "setup.exe").exists():
        raise RuntimeError(f"{path}/bin/setup.exe does not exist: build first")
    return path


def lnk_fields(path):
    """Target, description, arguments and working folder of a .lnk, as the
    independent reader lnkinfo sees them (None for a field it does not show)."""
    out = subprocess.run(["lnkinfo", str(path)], check=True, capture_output=True, text=True,
                         timeout=30, stdin=subprocess.DEVNULL).stdout
    fields = {}
    for key in ("Local path", "Description", "Command line arguments", "Working directory"):
        match = re.search(rf"^\s*{key}\s*:\s?(.*)$", out, re.M)
        fields[key] = match.group(1) if match else None
    return fields


# ---------------------------------------------------------------------------
# Displays


class Display:
    """A private Xvfb. `name` is ":N", chosen by the server (-displayfd)."""

    def __init__(self, depth, log_path, width=1024, height=768):
        self.depth = depth
        self.width = width
        self.height = height
        read_end, write_end = os.pipe()
        log = open(log_path, "wb")
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
             f"{width}x{height}x{depth}", "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        os.close(write_end)
        log.close()
        number = b""
        with os.fdopen(read_end, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    break
                number += chunk
        if not number.strip().isdigit():
            self.stop()
            raise RuntimeError(f"Xvfb did not start; see {log_path}")
        self.name = ":" + number.decode().strip()
        self.log_path = log_path

    def stop(self):
        """Ends the server; its log is kept only when it had ended by itself."""
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
            if hasattr(self, "log_path"):
                self.log_path.unlink(missing_ok=True)


# ---------------------------------------------------------------------------
# Session


class Session:
    """What the scenarios of one pytest session share: the build, the
    displays and the template prefix."""

    def __init__(self):
        self.build = build_dir()
        self.bin = self.build / "bin"
        self.root = self.build / "e2e"
        self.root.mkdir(parents=True, exist_ok=True)
        self.displays = {}
        self._template = None
        self.timings = {}
        self.endings = []  # scenarios whose Wine is still ending

    def display(self, depth=24):
        if depth not in self.displays:
            self.displays[depth] = Display(
                depth, self.root / f"xvfb-{os.getpid()}-{depth}.log")
        return self.displays[depth]

    def template(self):
        """The template prefix, made on first use (and by one session at a time)."""
        if self._template:
            return self._template
        path = self.root / "prefix-template"
        version = subprocess.run(["wine", "--version"], capture_output=True,
                                 text=True).stdout.strip()
        with open(self.root / "prefix-template.lock", "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            stamp = path / ".bench-ready"
            if not (stamp.exists() and stamp.read_text() == version):
                started = time.monotonic()
                self._make_template(path)
                stamp.write_text(version)
                self.timings["template"] = time.monotonic() - started
        self._template = path
        return path

    def _make_template(self, path):
        building = path.with_name(path.name + ".new")
        shutil.rmtree(building, ignore_errors=True)
        shutil.rmtree(path, ignore_errors=True)
        env = dict(os.environ, **WINE_ENV, WINEPREFIX=str(building),
                   DISPLAY=self.display(24).name)
        log = open(self.root / "prefix-template.log", "wb")
        run = dict(env=env, stdin=subprocess.DEVNULL, stdout=log, stderr=log, check=True,
                   timeout=300)
        subprocess.run(["wineboot", "-i"], **run)
        reg = building / "bench.reg"
        shutil.copyfile(PREFIX_REG, reg)
        subprocess.run(["wine", "regedit", "/S", windows_path(reg)], **run)
        # Waits for the server to save the registry and go.
        subprocess.run(["wineserver", "-w"], **run)
        log.close()
        reg.unlink()
        building.rename(path)

    def reap(self):
        """Finishes the endings that are complete."""
        done = [e for e in self.endings if e.done()]
        for ending in done:
            ending.wait()
            self.endings.remove(ending)

    def close(self):
        for ending in self.endings:
            ending.wait()
        self.endings.clear()
        for display in self.displays.values():
            display.stop()
        self.displays.clear()


def copy_prefix(template, target):
    """Copies the template prefix to `target`: the DLL folders, which Wine
    never writes, as hard links; everything else as real copies, so that
    whatever a scenario writes (registry, Windows folder) stays its own."""
    def copy(source, dest):
        if "/system32/" in source or "/winsxs/" in source:
            os.link(source, dest)
        else:
            shutil.copy2(source, dest)
    shutil.copytree(template, target, symlinks=True, copy_function=copy)


# ---------------------------------------------------------------------------
# Window lists


class Window(dict):
    """One line of `winlist list`: hwnd, parent, owner, top, depth, pid, tid,
    id, class, text, style, exstyle, rect, client (screen coordinates),
    visible, enabled."""

    @property
    def hwnd(self):
        return self["hwnd"]

    @property
    def width(self):
        return self["rect"][2] - self["rect"][0]

    @property
    def height(self):
        return self["rect"][3] - self["rect"][1]

    def centre(self):
        left, top, right, bottom = self["rect"]
        return (left + right) // 2, (top + bottom) // 2

    def describe(self):
        flags = ("" if self["visible"] else " hidden") + ("" if self["enabled"] else " disabled")
        return (f"{'  ' * self['depth']}{self['hwnd']} pid {self['pid']} "
                f"{self['class']!r} {self['text']!r} style=0x{self['style']:08x} "
                f"exstyle=0x{self['exstyle']:x} rect={self['rect']}{flags}")


class WindowList(list):
    def find(self, class_=None, text=None, top_level=None, pid=None, visible=None):
        """Windows matching every given condition; `text` may be a compiled
        regular expression."""
        found = []
        for window in self:
            if class_ is not None and window["class"] != class_:
                continue
            if text is not None:
                if hasattr(text, "search"):
                    if not text.search(window["text"]):
                        continue
                elif window["text"] != text:
                    continue
            if top_level is not None and (window["depth"] == 0) != top_level:
                continue
            if pid is not None and window["pid"] != pid:
                continue
            if visible is not None and bool(window["visible"]) != visible:
                continue
            found.append(window)
        return WindowList(found)

    def children(self, window):
        """The direct children of `window`."""
        return WindowList(w for w in self if w["parent"] == window["hwnd"] and w["depth"] > 0)

    def descendants(self, window):
        return WindowList(w for w in self if w["top"] == window["top"]
                          and w["depth"] > window["depth"])

    def message_boxes(self):
        """Every top-level dialog window seen as a message box: caption, the
        texts of its static controls and its buttons."""
        boxes = []
        for box in self.find(class_=MESSAGE_BOX_CLASS, top_level=True):
            inner = self.descendants(box)
            texts = [w["text"] for w in inner if w["class"].lower() == "static" and w["text"]]
            buttons = [w for w in inner if w["class"].lower() == "button"]
            boxes.append({
                "hwnd": box["hwnd"], "window": box, "caption": box["text"],
                "text": "\n".join(texts), "texts": texts, "owner": box["owner"],
                "pid": box["pid"], "visible": box["visible"],
                "buttons": [b["text"] for b in buttons], "button_windows": buttons,
            })
        return boxes

    def status_dialog(self, text):
        """The status dialog whose static says `text`, shown or not, or None."""
        for dialog in self.find(class_=DIALOG_CLASS, top_level=True):
            if any(w["id"] == STATUS_TEXT and w["text"] == text for w in self.children(dialog)):
                return dialog
        return None

    def copy_window(self):
        """The copy window while it is shown, or None."""
        shown = self.find(class_=COPY_CLASS, visible=True)
        return shown[0] if shown else None

    def describe(self, pids=()):
        """The visible windows, and every window of the processes `pids`."""
        tops = {w["top"] for w in self if w["depth"] == 0 and (w["visible"] or w["pid"] in pids)}
        return "\n".join(w.describe() for w in self if w["top"] in tops) or "(no windows)"


# ---------------------------------------------------------------------------
# probe.ini


class ProbeConfig:
    """probe.ini, section by section. Values are written as given; a value
    with blanks at either end is quoted so that the profile reader keeps them."""

    def __init__(self):
        self.sections = {}

    def set(self, section, key, value):
        self.sections.setdefault(section, {})[key] = str(value)
        return self

    def answer(self, hook, *results):
        """Results of `hook`, call by call; the last one repeats."""
        return self.set(hook, "answer", ",".join(str(r) for r in results))

    def actions(self, hook, *actions, call=None):
        """Actions of `hook` (for its `call`-th call only, when given)."""
        section = f"{hook}#{call}" if call else hook
        for index, action in enumerate(actions, 1):
            self.set(section, f"do{index}", action)
        return self

    def title(self, text):
        return self.set("InitModule", "title", text)

    def dest_dir(self, text):
        return self.set("SetDestDir", "destDir", text)

    def demo(self, program, document):
        self.set("DemoQuery", "program", program)
        return self.set("DemoQuery", "document", document)

    def sender(self, reply=0x8000, delay=0, repeat=1, exit=0):
        self.set("sender", "register", 1)
        self.set("sender", "reply", hex(reply))
        self.set("sender", "repeat", repeat)
        self.set("sender", "exit", exit)
        return self.set("sender", "delay", delay)

    def hold(self, hook="Present", milliseconds=120000):
        """Holds the setup in `hook` with the shell's windows still answering
        (the probe runs a message loop there), and ends it when the hold runs
        out: how start-up scenarios keep the installation sequence away."""
        self.actions(hook, f"pump {milliseconds}")
        return self.answer(hook, 0)

    def text(self):
        lines = []
        for section, values in self.sections.items():
            lines.append(f"[{section}]")
            for key, value in values.items():
                if value != value.strip():
                    value = f'"{value}"'
                lines.append(f"{key}={value}")
            lines.append("")
        return "\r\n".join(lines)


def ini_text(sections):
    """INI text from {section: {key: value}}, CR LF line ends."""
    lines = []
    for section, values in sections.items():
        lines.append(f"[{section}]")
        lines += [f"{key}={value}" for key, value in values.items()]
        lines.append("")
    return "\r\n".join(lines)


# ---------------------------------------------------------------------------
# Scenario


class Scenario:
    """One run of setup.exe: lays out its folders, starts it, watches it, acts
    on it and ends everything it started."""

    def __init__(self, session, name, group="e2e"):
        self.session = session
        session.reap()
        self.bin = session.bin
        safe = re.sub(r"[^A-Za-z0-9_.-]+", "_", name)
        self.root = session.root / group / safe
        shutil.rmtree(self.root, ignore_errors=True)
        self.src = self.root / "src"
        self.dest = self.root / "dest"
        self.work = self.root / "work"
        self.shots = self.root / "shots"
        self.logs = self.root / "logs"
        self.prefix = self.root / "prefix"
        for folder in (self.src, self.dest, self.work, self.shots, self.logs):
            folder.mkdir(parents=True)
        self.probe = ProbeConfig()
        self.depth = 24
        self.registry = []  # (key, name, value) applied before setup starts
        self.native_first = []  # DLL names Wine takes from the program's folder first
        self.process = None
        self.setup_pid = None
        self.exit_code = None
        self._wine_started = False
        self._helpers = []
        self._shot_count = 0
        self.enter = []  # the command that runs a program in the scenario's mounts
        self._mounts_holder = None

    # -- layout ------------------------------------------------------------

    def add_module(self, name="probe", dll="probe.dll"):
        """Copies the built `dll` into the source folder as `name`.dll."""
        target = self.src / f"{name}.dll"
        shutil.copyfile(self.bin / dll, target)
        return target

    def add_file(self, relative, content=b""):
        """A file in the source folder (distribution files, file lists)."""
        path = self.src / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content.encode("latin-1") if isinstance(content, str) else content)
        return path

    def add_compressed(self, relative, content):
        """`content` as the source file `relative`, compressed by mscompress, a
        compressor nobody on this project wrote; returns its path."""
        packing = self.root / "packing"
        packing.mkdir(exist_ok=True)
        plain = packing / "plain"
        plain.write_bytes(content)
        subprocess.run(["mscompress", str(plain)], check=True, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        packed = plain.with_name("plain_")
        if packed.read_bytes()[:4] != b"SZDD":
            raise BenchError(f"mscompress wrote no LZ file for {relative}")
        path = self.src / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        shutil.move(packed, path)
        return path

    def write_setup_data(self, title=None, items=(), extra=None):
        """kvlsetup.dat: [GENERAL] cbTitle and [FILELIST] cbItem00, cbItem01, ...;
        `extra` adds sections of its own ({section: {key: value}})."""
        sections = {}
        if title is not None:
            sections["GENERAL"] = {"cbTitle": title}
        if items:
            sections["FILELIST"] = {f"cbItem{i:02d}": item for i, item in enumerate(items)}
        sections.update(extra or {})
        return self.add_file("kvlsetup.dat", ini_text(sections))

    def write_file_list(self, name, files):
        """A module file list: [FILELIST] cbItem00, ... naming `files`."""
        return self.add_file(name, ini_text(
            {"FILELIST": {f"cbItem{i:02d}": f for i, f in enumerate(files)}}))

    def registered_stock_product(self, product_id, version, files, folder=None):
        """The stock module installing `files` (plain, each holding its name
        and `version`; cbConflict=ask) as the product `product_id`, registered
        for removal (cbId, uninst.exe); returns dest/`folder` (cbFolder,
        default the id), where it installs without /DIR=."""
        self.add_module("defsetup", dll="stock.dll")
        self.add_file("uninst.exe", (self.bin / "uninst.exe").read_bytes())
        for name in files:
            self.add_file(name, f"{name}, version {version}\r\n")
        folder = folder or product_id
        self.write_setup_data(title=product_id, items=[
            f"{name}, {name[-1]}, , 0, 0, 0, 0;" for name in files], extra={"PRODUCT": {
                "cbFolder": folder, "cbTitle": product_id, "cbId": product_id,
                "cbVersion": version, "cbConflict": "ask"}})
        self.program_files()
        return self.dest / folder

    def set_registry(self, key, name, value):
        """A registry value to set before setup starts: `value` a str
        (REG_SZ) or an int (REG_DWORD). `key` begins with HKLM\\ or HKCU\\."""
        self.registry.append((key, name, value))

    def program_files(self, folder=None):
        """Points ProgramFilesDir into the scenario (default: dest/)."""
        folder = Path(folder or self.dest)
        self.set_registry(r"HKLM\Software\Microsoft\Windows\CurrentVersion",
                          "ProgramFilesDir", windows_path(folder))
        return folder

    def tree(self, folder=None):
        """What is on disk below `folder` (default dest/): the sorted relative
        paths, folders ending in "/"."""
        folder = Path(folder or self.dest)
        if self.enter:  # what the scenario's own mounts show there
            found = subprocess.run([*self.enter, "find", str(folder), "-mindepth", "1",
                                    "-printf", "%P%y\\n"], capture_output=True, text=True,
                                   check=True).stdout.splitlines()
            return sorted(line[:-1] + ("/" if line[-1] == "d" else "") for line in found)
        return sorted(str(p.relative_to(folder)) + ("/" if p.is_dir() else "")
                      for p in folder.rglob("*"))

    def small_drive(self, letter, kib):
        """A drive `letter` of `kib` KiB (a tmpfs of its own) in the scenario's
        prefix, returned as its host folder. The tmpfs is mounted in a mount
        namespace that this scenario's Wine (server, setup.exe, helpers) runs
        in; read it with `tree` and `exists`, which look from there. Skips the
        test where no such namespace can be made (a container that forbids it)."""
        assert not self._wine_started, "the small drive comes before Wine starts"
        folder = self.root / f"drive-{letter.lower()}"
        folder.mkdir()
        holder = subprocess.Popen(
            ["unshare", "--user", "--map-root-user", "--mount", "--propagation", "private", "sh",
             "-c", f'mount -t tmpfs -o size={kib}k tmpfs "$0" && echo ready && exec sleep 3600',
             str(folder)], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
            stderr=subprocess.PIPE)
        if holder.stdout.readline().strip() != b"ready":
            reason = holder.stderr.read().decode(errors="replace").strip()
            holder.wait()
            pytest.skip(f"no tmpfs of our own can be mounted here: {reason}")
        self._mounts_holder = holder
        self.enter = ["nsenter", f"--target={holder.pid}", "--user", "--mount",
                      "--preserve-credentials"]
        self._start_wine()
        link = self.prefix / "dosdevices" / f"{letter.lower()}:"
        if link.is_symlink() or link.exists():
            link.unlink()
        link.symlink_to(folder)
        return folder

    def in_mounts(self, *command):
        """Runs a host command where the scenario's Wine runs (its small
        drive mounted); returns its output."""
        return subprocess.run([*self.enter, *map(str, command)], capture_output=True, text=True,
                              check=True).stdout

    def program_groups(self, name):
        """The program groups called `name` in the prefix's Start menus: the
        users' own and the one for all users."""
        return sorted(self.prefix.glob(f"drive_c/users/*/**/Start Menu/Programs/{name}")) + \
            sorted(self.prefix.glob(f"drive_c/ProgramData/**/Start Menu/Programs/{name}"))

    def shell_folder(self, root, name):
        """A folder as Wine's shell reports it (`name` under `root`'s Shell
        Folders: Programs in HKCU, Common Programs in HKLM), as a host path."""
        key = rf"{root}\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders"
        value = (self.registry_values(key) or {}).get(name, ("", ""))[1]
        if not value.upper().startswith("C:\\"):
            raise BenchError(f"{root} Shell Folders {name} is {value!r}")
        return self.prefix / "drive_c" / value[3:].replace("\\", "/")

    def write_probe_ini(self):
        (self.src / "probe.ini").write_text(self.probe.text())

    # -- Wine ----------------------------------------------------------------

    @property
    def display(self):
        return self.session.display(self.depth)

    def env(self, **extra):
        env = dict(os.environ, **WINE_ENV, WINEPREFIX=str(self.prefix),
                   DISPLAY=self.display.name)
        if self.native_first:
            # Wine prefers its own DLLs; these names are then looked for in
            # the program's folder first, as Windows does for all but its
            # known DLLs.
            env["WINEDLLOVERRIDES"] += ";" + ",".join(self.native_first) + "=n,b"
        env.pop("WINESERVER", None)
        env.update(extra)
        return env

    def _start_wine(self):
        if self._wine_started:
            return
        started = time.monotonic()
        copy_prefix(self.session.template(), self.prefix)
        self.session.timings.setdefault("prefix-copies", []).append(time.monotonic() - started)
        # Kept up until the scenario ends, so each wine call starts in ~0.1 s.
        subprocess.run([*self.enter, "wineserver", "-p"], env=self.env(), stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        self._wine_started = True
        if self.registry:
            self._apply_registry()

    def _apply_registry(self):
        roots = {"HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER"}
        lines = ["REGEDIT4", ""]
        for key, name, value in self.registry:
            root, _, rest = key.partition("\\")
            lines.append(f"[{roots.get(root, root)}\\{rest}]")
            if isinstance(value, int):
                lines.append(f'"{name}"=dword:{value & 0xFFFFFFFF:08x}')
            else:
                escaped = value.replace("\\", "\\\\").replace('"', '\\"')
                lines.append(f'"{name}"="{escaped}"')
            lines.append("")
        reg = self.logs / "scenario.reg"
        reg.write_text("\r\n".join(lines))
        self.wine("regedit", "/S", windows_path(reg), timeout=60)

    def wine(self, *args, timeout=60, check=True):
        """Runs a Windows program to its end; returns its stdout. Output goes
        through files: Wine's helper processes keep inherited pipes open."""
        self._start_wine()
        out = self.logs / "wine-call.out"
        err = self.logs / "wine-call.err"
        with open(out, "wb") as stdout, open(err, "ab") as stderr:
            result = subprocess.run([*self.enter, "wine", *args], env=self.env(),
                                    stdin=subprocess.DEVNULL, stdout=stdout, stderr=stderr,
                                    timeout=timeout)
        text = out.read_text(errors="replace")
        if check and result.returncode != 0:
            raise BenchError(f"wine {' '.join(args)} failed ({result.returncode}): {text}")
        return text

    def winlist(self, *args, check=True):
        """Runs winlist.exe; returns its JSON lines as dicts."""
        text = self.wine(str(self.bin / "winlist.exe"), *[str(a) for a in args], check=check)
        return [json.loads(line) for line in text.splitlines() if line.startswith("{")]

    # -- running setup.exe ---------------------------------------------------

    def start(self, args=None, cmdline=None):
        """Starts setup.exe from the source folder. `args` is the raw
        argument text put after the quoted program path and one blank (None:
        no arguments at all); `cmdline` replaces the whole command line.
        setup.exe runs in work/ as its current folder."""
        if not (self.src / "setup.exe").exists():
            shutil.copyfile(self.bin / "setup.exe", self.src / "setup.exe")
        self.write_probe_ini()
        if cmdline is None:
            cmdline = f'"{windows_path(self.src / "setup.exe")}"'
            if args is not None:
                cmdline += " " + args
        self.cmdline = cmdline
        self._start_wine()
        self.launch_out = self.logs / "launch.out"
        self.launch_err = self.logs / "launch.err"
        env = self.env(WINLIST_CMDLINE=cmdline, WINLIST_CWD=windows_path(self.work))
        with open(self.launch_out, "wb") as out, open(self.launch_err, "wb") as err:
            self.process = subprocess.Popen(
                [*self.enter, "wine", str(self.bin / "winlist.exe"), "launch"], env=env,
                stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        self.started_at = time.monotonic()
        self.wait_until(self._launched, WAIT, "setup.exe did not start")
        return self

    def _launch_lines(self):
        try:
            text = self.launch_out.read_text(errors="replace")
        except FileNotFoundError:
            return []
        return [json.loads(line) for line in text.splitlines() if line.startswith("{")]

    def _launched(self):
        for line in self._launch_lines():
            if "pid" in line:
                self.setup_pid = line["pid"]
                return True
            if "error" in line:
                raise BenchError(self.report(f"setup.exe could not be started: {line}"))
        if self.process.poll() is not None:
            raise BenchError(self.report("the launcher ended before setup.exe started"))
        return False

    def running(self):
        return self.process is not None and self.process.poll() is None

    def wait_exit(self, timeout=EXIT_WAIT):
        """Waits for setup.exe to end; returns its exit code."""
        try:
            self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise BenchError(self.report(f"setup.exe still runs after {timeout} s")) from None
        for line in self._launch_lines():
            if "exit" in line:
                self.exit_code = line["exit"]
                return self.exit_code
        raise BenchError(self.report(
            f"no exit code reported (launcher status {self.process.returncode})"))

    def wait_end(self, expected, timeout=RUN_WAIT):
        """Waits for setup.exe to end and checks its exit code (one of
        EXIT_CODES); returns the hooks it called, in order."""
        code = self.wait_exit(timeout)
        if code != EXIT_CODES[expected]:
            raise BenchError(self.report(f"exit code {code}, not {expected}"))
        return self.calls()

    def wait_success(self, timeout=RUN_WAIT):
        """Waits for a complete installation: exit code 0."""
        return self.wait_end("complete", timeout)

    def run(self, args=None, timeout=EXIT_WAIT, **kwargs):
        """Starts setup.exe and waits for its end; returns the exit code."""
        self.start(args, **kwargs)
        return self.wait_exit(timeout)

    def wait_until(self, condition, timeout=WAIT, what="the awaited state never came"):
        """Polls `condition` until it gives something true, and returns that.
        After `timeout` seconds fails with `what` (a text, or a function giving
        one at the failure) followed by the scenario's report."""
        deadline = time.monotonic() + timeout
        while True:
            value = condition()
            if value:
                return value
            if time.monotonic() >= deadline:
                raise BenchError(self.report(what() if callable(what) else what))
            time.sleep(POLL)

    # -- the module's log ----------------------------------------------------

    def log(self, name="probe.log"):
        path = self.src / name
        if not path.exists():
            return []
        entries = []
        for line in path.read_text(errors="replace").splitlines():
            if line.strip():
                try:
                    entries.append(json.loads(line))
                except ValueError:
                    entries.append({"event": "unreadable", "line": line})
        return entries

    def calls(self, hook=None):
        """The hook calls in order: their names, or with `hook` that hook's
        call lines."""
        calls = [e for e in self.log() if e["event"] == "call"]
        if hook:
            return [e for e in calls if e["hook"] == hook]
        return [e["hook"] for e in calls]

    def events(self, event, **match):
        return [e for e in self.log()
                if e["event"] == event and all(e.get(k) == v for k, v in match.items())]

    def wait_log(self, event, timeout=WAIT, **match):
        """Waits for a log line of `event` whose fields equal `match`; returns it."""
        def found():
            hits = self.events(event, **match)
            return hits[0] if hits else None
        return self.wait_until(found, timeout, f"no log line {event} {match} within {timeout} s")

    def wait_call(self, hook, n=1, timeout=WAIT):
        return self.wait_log("call", timeout, hook=hook, n=n)

    # -- windows -------------------------------------------------------------

    def windows(self):
        return WindowList(Window(w) for w in self.winlist("list") if "hwnd" in w)

    def wait_window(self, class_=None, text=None, timeout=WAIT, **conditions):
        """Waits for a top-level window matching the conditions (those of
        WindowList.find); returns it."""
        conditions.setdefault("top_level", True)

        def found():
            windows = self.windows().find(class_=class_, text=text, **conditions)
            return windows[0] if windows else None
        return self.wait_until(
            found, timeout,
            f"no window class={class_!r} text={text!r} {conditions} within {timeout} s")

    def main_window(self, timeout=WAIT):
        """The main window once it is shown (start-up is then complete)."""
        return self.wait_window(MAIN_CLASS, timeout=timeout, visible=True)

    def message_boxes(self):
        return self.windows().message_boxes()

    def message_box(self):
        """A message box of setup.exe shown with its buttons in place, or None."""
        boxes = [b for b in self.message_boxes()
                 if b["pid"] == self.setup_pid and b["visible"] and b["buttons"]]
        return boxes[0] if boxes else None

    def wait_message_box(self, timeout=WAIT):
        """Waits for a message box of setup.exe with its text in place."""
        return self.wait_until(self.message_box, timeout, f"no message box within {timeout} s")

    def presentation(self, timeout=WAIT):
        """Waits for the presentation dialog; returns it and its controls by id."""
        def shown():
            windows = self.windows()
            for dialog in windows.find(class_=DIALOG_CLASS, text=PRESENT_CAPTION,
                                       top_level=True, visible=True, pid=self.setup_pid):
                controls = {w["id"]: w for w in windows.children(dialog)}
                if AGREE_BUTTON in controls:
                    return dialog, controls
            if not self.running():
                raise BenchError(self.report("setup.exe ended before its presentation dialog"))
            return None
        return self.wait_until(shown, timeout, "no presentation dialog")

    def agree(self, timeout=WAIT):
        """Waits for the presentation dialog and agrees, as its "I Agree"
        button does; returns the dialog's controls by id from before."""
        dialog, controls = self.presentation(timeout)
        self.post(dialog.hwnd, WM_COMMAND, AGREE_BUTTON, 0)
        return controls

    def accept_folder(self, timeout=WAIT):
        """Waits for the stock module's folder dialog (cbAskFolder=1) and
        takes the folder it proposes, as its OK button does."""
        def shown():
            windows = self.windows()
            for dialog in windows.find(text="KARVELO SETUP", top_level=True, visible=True,
                                       pid=self.setup_pid):
                if any(w["text"] == "&Browse..." for w in windows.descendants(dialog)):
                    return dialog
            return None
        dialog = self.wait_until(shown, timeout, "no folder dialog")
        self.post(dialog.hwnd, WM_COMMAND, 1, 0)  # IDOK

    def wait_status(self, text, timeout=RUN_WAIT):
        """Waits for the status dialog saying `text` to be shown; returns it."""
        def shown():
            dialog = self.windows().status_dialog(text)
            return dialog if dialog is not None and dialog["visible"] else None
        return self.wait_until(shown, timeout, f"no status dialog {text!r}")

    def wait_copy_window(self, timeout=RUN_WAIT):
        """Waits for setup.exe's copy window to be shown; returns it."""
        return self.wait_until(lambda: self.windows().find(pid=self.setup_pid).copy_window(),
                               timeout, "no copy window")

    def wait_demo_launch(self, folder, timeout=WAIT):
        """Waits for the demonstration program's record in `folder`; returns
        the command line and working folder it was started with."""
        record = Path(folder) / "demo-launch.txt"

        def written():  # both lines to their ends
            text = record.read_text(errors="replace") if record.exists() else ""
            command = re.search(r"^command=(.*)\n", text, re.M)
            cwd = re.search(r"^cwd=(.*)\n", text, re.M)
            return (command.group(1), cwd.group(1)) if command and cwd else None
        return self.wait_until(written, timeout,
                               f"the demonstration was not started ({record} missing)")

    # -- acting ----------------------------------------------------------------

    def send(self, hwnd, message, wparam=0, lparam=0):
        """SendMessage from outside; returns the result."""
        answer = self.winlist("send", hwnd, message, wparam, lparam)[-1]
        if "result" not in answer:
            raise BenchError(self.report(f"send {message} to {hwnd} failed: {answer}"))
        return answer["result"]

    def post(self, hwnd, message, wparam=0, lparam=0):
        return self.winlist("post", hwnd, message, wparam, lparam)[-1].get("posted") == 1

    def click_client(self, hwnd, x, y):
        """Posts a left press and release at client coordinates x, y."""
        return self.winlist("click", hwnd, x, y)[-1].get("posted") == 1

    def xdotool(self, *args):
        subprocess.run(["xdotool", *[str(a) for a in args]], env=self.env(), check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30)

    def mouse_click(self, x, y):
        """A real click (through the X server) at screen coordinates x, y."""
        self.xdotool("mousemove", x, y, "click", 1)

    def focus(self, window):
        """Puts the pointer over `window` and clicks its caption so that it
        gets the keyboard, as a user would."""
        left, top, right, _ = window["rect"]
        client_top = window["client"][1]
        self.mouse_click((left + right) // 2, (top + client_top) // 2 if client_top > top
                         else top + 2)

    def keys(self, *keys):
        """Key presses (xdotool names: alt+F4, Return) to the window with the focus."""
        self.xdotool("key", "--delay", 50, *keys)

    def type_text(self, text):
        """Types `text` into the window with the focus, key by key."""
        self.xdotool("type", "--delay", 30, text)

    def press_button(self, box, text="OK"):
        """Presses the button `text` of a message box or dialog with a real click."""
        buttons = [b for b in box["button_windows"] if b["text"].replace("&", "") == text]
        if not buttons:
            raise BenchError(self.report(f"no button {text!r} in {box['caption']!r}"))
        self.mouse_click(*buttons[0].centre())

    def close_setup(self):
        """Posts WM_CLOSE to the main window, as a task manager would."""
        for window in self.windows().find(class_=MAIN_CLASS, top_level=True):
            self.post(window.hwnd, WM_CLOSE)

    def kill_program(self, name):
        """Ends this scenario's Windows programs whose file is `name`
        ("setup.exe") at once, as a crash or a forced end does: no code of
        theirs runs. Returns how many were ended."""
        wanted = ("\\" + name).lower().encode()
        prefix = f"WINEPREFIX={self.prefix}".encode()
        ended = 0
        for proc in Path("/proc").iterdir():
            if not proc.name.isdigit():
                continue
            try:
                program = (proc / "cmdline").read_bytes().split(b"\0")[0]
                environment = (proc / "environ").read_bytes().split(b"\0")
            except OSError:
                continue
            if prefix in environment and program.lower().endswith(wanted):
                os.kill(int(proc.name), signal.SIGKILL)
                ended += 1
        return ended

    def start_helper(self, *args, name="helper"):
        """Starts `winlist <args>` (engine, witness) in the background and waits
        for its window; returns (hwnd, output path)."""
        self._start_wine()
        out = self.logs / f"{name}.out"
        err = open(self.logs / f"{name}.err", "wb")
        with open(out, "wb") as stdout:
            process = subprocess.Popen([*self.enter, "wine", str(self.bin / "winlist.exe"),
                                        *map(str, args)], env=self.env(),
                                       stdin=subprocess.DEVNULL, stdout=stdout, stderr=err)
        err.close()
        self._helpers.append(process)

        def ready():
            for line in out.read_text(errors="replace").splitlines():
                if '"ready"' in line:
                    return json.loads(line)["ready"]
            return None
        return self.wait_until(ready, WAIT, f"{name} did not start"), out

    def hold_file(self, path, seconds=300):
        """Keeps the file `path` open from a Windows program, sharing neither
        its removal nor its renaming, as a running program holds it."""
        return self.start_helper("hold", windows_path(path), seconds, name="hold")

    def registry_values(self, key):
        """The values of a registry key as `wine reg query` lists them
        ({name: (type, text)}), or None when the key is not there."""
        out = self.wine("reg", "query", key, check=False)
        if not re.search(r"^HKEY_", out, re.M):
            return None
        return {m.group(1): (m.group(2), m.group(3))
                for m in re.finditer(r"^ +(\S.*?) {4}(REG_\w+) {4}(.*?)\r?$", out, re.M)}

    def start_engine(self, seconds=300):
        """A top-level window of class KARVELOENGINE, as the running product's."""
        return self.start_helper("engine", seconds, name="engine")[0]

    # -- pictures --------------------------------------------------------------

    def screenshot(self, name=None, window=None):
        """Saves the screen, or just `window`'s frame, as shots/<name>.png. A
        window is photographed from its own X window when there is one of its
        caption and size: on an 8-bit display only that one is read through
        the window's own colormap."""
        self._shot_count += 1
        path = self.shots / f"{name or 'screen-%02d' % self._shot_count}.png"
        if window is not None and self._shoot_x_window(window, path):
            return path
        command = ["import", "-display", self.display.name, "-window", "root"]
        if window is not None:
            left, top, right, bottom = window["rect"]
            command += ["-crop", f"{right - left}x{bottom - top}+{left}+{top}", "+repage"]
        self._run_quietly(command + [str(path)])
        return path

    def _shoot_x_window(self, window, path):
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name",
                                "^" + re.escape(window["text"]) + "$"], env=self.env(),
                               capture_output=True, text=True, timeout=30,
                               stdin=subprocess.DEVNULL)
        for xid in found.stdout.split():
            self._run_quietly(["import", "-display", self.display.name, "-window", xid,
                               str(path)])
            if png_size(path) == (window.width, window.height):
                return True
        return False

    def _run_quietly(self, command):
        subprocess.run(command, env=self.env(), check=True, timeout=60,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    # -- reports and the end ---------------------------------------------------

    def report(self, what):
        """`what`, followed by everything that helps to see why: the probe's
        log, the windows on screen, a screenshot, Wine's last words."""
        parts = [what, f"scenario folder: {self.root}"]
        if getattr(self, "cmdline", None):
            parts.append(f"command line: {self.cmdline!r}")
        if self.process is not None:
            state = "running" if self.running() else f"ended ({self.process.returncode})"
            parts.append(f"setup.exe pid {self.setup_pid}: {state}")
        log = self.log()
        parts.append(f"probe log ({len(log)} lines, last 40):")
        parts += [f"  {json.dumps(e)}" for e in log[-40:]]
        if self._wine_started:
            try:
                parts.append("windows:\n" + self.windows().describe(pids={self.setup_pid}))
            except Exception as error:  # the report must come out whatever fails
                parts.append(f"windows: not listed ({error})")
            try:
                parts.append(f"screenshot: {self.screenshot('failure')}")
            except Exception as error:
                parts.append(f"screenshot: not taken ({error})")
        for path in (getattr(self, "launch_out", None), getattr(self, "launch_err", None)):
            if path and path.exists():
                tail = path.read_text(errors="replace")[-1500:].strip()
                if tail:
                    parts.append(f"{path.name}:\n{tail}")
        return "\n".join(parts)

    def finish(self):
        """Ends this scenario's Wine (server, setup.exe, helpers) and removes
        its prefix copy. The displays belong to the session. When nothing of
        the scenario can still be on screen, the server is left to end in the
        background (it takes most of a second) while the next scenario runs."""
        if not self._wine_started:
            shutil.rmtree(self.prefix, ignore_errors=True)
            return
        self._wine_started = False
        processes = [p for p in [self.process, *self._helpers] if p is not None]
        kill = subprocess.Popen([*self.enter, "wineserver", "-k"], env=self.env(),
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        if self._mounts_holder:
            processes.append(self._mounts_holder)
            self._mounts_holder.terminate()
        ending = Ending(kill, processes, self.prefix)
        if any(p.poll() is None for p in processes):
            ending.wait()
        else:
            self.session.endings.append(ending)


class Ending:
    """A scenario's Wine on its way out: the `wineserver -k`, the processes
    the scenario started, and the prefix copy to remove afterwards."""

    def __init__(self, kill, processes, prefix):
        self.kill = kill
        self.processes = processes
        self.prefix = prefix

    def done(self):
        return all(p.poll() is not None for p in [self.kill, *self.processes])

    def wait(self):
        for process in [self.kill, *self.processes]:
            try:
                process.wait(30)
            except subprocess.TimeoutExpired:
                process.send_signal(signal.SIGKILL)
                process.wait()
        shutil.rmtree(self.prefix, ignore_errors=True)
