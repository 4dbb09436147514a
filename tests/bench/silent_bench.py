"""A /VERYSILENT installation of the sample product beside the interactive
one (the agreement answered at once), in the same run and on the same
machine, with a small Wine program started in a fresh prefix copy, as setup
is, as the floor both stand on.
Prints one JSON line per run and a table of the best of RUNS. A benchmark,
not a test: nothing here fails on time.

Usage: BUILD_DIR=build RUNS=3 python3 tests/bench/silent_bench.py"""

import json
import os
import shutil
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "e2e"))
from harness import Scenario, Session  # noqa: E402


def lay_out(scenario):
    for item in (scenario.bin.parent / "sample-dist").iterdir():
        shutil.copyfile(item, scenario.src / item.name)
    scenario.program_files()


def timed(scenario, args, agree):
    started = time.monotonic()
    scenario.start(args)
    if agree:
        scenario.agree()
    scenario.wait_success(timeout=120)
    return time.monotonic() - started


def main():
    runs = int(os.environ.get("RUNS", "3"))
    session = Session()
    best = {}
    try:
        for run in range(runs):
            for name, args, agree in (("wine floor", None, False),
                                      ("interactive", "", True),
                                      ("very silent", "/VERYSILENT", False)):
                scenario = Scenario(session, f"{name.replace(' ', '-')}-{run}", group="bench")
                try:
                    if name == "wine floor":
                        # A fresh prefix and server, as setup gets: the same floor.
                        started = time.monotonic()
                        scenario.wine(str(scenario.bin / "winlist.exe"), "screen")
                        seconds = time.monotonic() - started
                    else:
                        lay_out(scenario)
                        seconds = timed(scenario, args, agree)
                finally:
                    scenario.finish()
                print(json.dumps({"run": run, "work": name, "seconds": round(seconds, 3)}))
                best[name] = min(best.get(name, seconds), seconds)
    finally:
        session.close()
    floor = best["wine floor"]
    print("\n| work | s (best of %d) | beyond the Wine floor |" % runs)
    print("|---|---:|---:|")
    for name in ("wine floor", "interactive", "very silent"):
        print(f"| {name} | {best[name]:.2f} | {best[name] - floor:.2f} |")
    print(f"\nvery silent / interactive: {best['very silent'] / best['interactive']:.2f}")


if __name__ == "__main__":
    main()
