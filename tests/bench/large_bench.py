"""Products of many files, timed: a 5,000-file product installed
interactively at the fast pace (the agreement answered at once), with the
longest message setup handled during its copy (how long its window did not
answer, from setup's own log); and setup's peak memory with 65,536 copy
entries declared beside the same product declaring nothing (the Wine
process's VmHWM, Wine's own share included in both).
Prints one JSON line per measure. A benchmark, not a test: nothing here
fails on time or size.

Usage: BUILD_DIR=build FILES=5000 python3 tests/bench/large_bench.py"""

import json
import os
import re
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "e2e"))
from harness import Scenario, Session, windows_path  # noqa: E402


def product(scenario, count, general, per_folder):
    """`count` files of 1 to 40 KiB, `per_folder` to a folder, installed by the
    stock module."""
    scenario.add_module("defsetup", dll="stock.dll")
    for i in range(count):
        scenario.add_file(f"F{i:05d}.DAT", bytes([i & 0xFF]) * (1024 * (1 + i % 40)))
    items = [f"F{n:03d}??.DAT, T, Part{n:03d}, 0, 0, 1, 0;"
             for n in range((count + 99) // 100)] if per_folder == 100 else \
        ["F*.DAT, T, Many, 0, 0, 1, 0;"]
    scenario.write_setup_data(items=items, extra={
        "GENERAL": {"cbTitle": "Large", **general},
        "PRODUCT": {"cbFolder": "Large", "cbConflict": "keep"}})
    scenario.program_files()


def peak_memory(scenario):
    """setup.exe's peak resident memory in KiB while it runs, read from /proc."""
    peak = 0
    wanted = b"setup.exe"
    while scenario.running():
        for proc in Path("/proc").iterdir():
            if not proc.name.isdigit():
                continue
            try:
                if wanted not in (proc / "cmdline").read_bytes().lower():
                    continue
                if str(scenario.prefix).encode() not in (proc / "environ").read_bytes():
                    continue
                found = re.search(r"^VmHWM:\s+(\d+)", (proc / "status").read_text(), re.M)
            except OSError:
                continue
            if found:
                peak = max(peak, int(found.group(1)))
        time.sleep(0.05)
    return peak


def interactive(session, count, per_folder):
    """An interactive installation of `count` files; one JSON line."""
    scenario = Scenario(session, f"interactive-{per_folder}", group="bench-large")
    try:
        product(scenario, count, {"cbCopyEntries": str(count), "cbFastCopy": "1"}, per_folder)
        log = scenario.dest / "setup.log"
        started = time.monotonic()
        scenario.start(f'/LOG="{windows_path(log)}"')
        scenario.agree()
        scenario.wait_success(timeout=900)
        seconds = time.monotonic() - started
        text = log.read_text()
        longest = re.search(r"copy: the longest message took (\d+) ms", text)
        copied = len(re.findall(r"^.*file .*: installed new", text, re.M))
    finally:
        scenario.finish()
    print(json.dumps({"work": f"{count} files, {per_folder} a folder, interactive, fast pace",
                      "seconds": round(seconds, 2), "files": copied,
                      "longest message ms": int(longest.group(1)) if longest else None}),
          flush=True)


def peak(session, name, general):
    """setup's peak memory for 200 files with `general` declared; one JSON line."""
    scenario = Scenario(session, name.replace(" ", "-"), group="bench-large")
    try:
        product(scenario, 200, general, 200)
        scenario.start("/VERYSILENT")
        kib = peak_memory(scenario)
        scenario.wait_success(timeout=300)
    finally:
        scenario.finish()
    print(json.dumps({"work": f"peak memory, 200 files, {name}", "VmHWM KiB": kib}), flush=True)


def main():
    count = int(os.environ.get("FILES", "5000"))
    session = Session()
    try:
        for per_folder in (100, count):
            interactive(session, count, per_folder)
        peak(session, "nothing declared", {})
        peak(session, "65536 declared", {"cbCopyEntries": "65536"})
    finally:
        session.close()


if __name__ == "__main__":
    main()
