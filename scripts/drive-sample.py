#!/usr/bin/env python3
"""Walks an unattended sample installation as a person at the screen would:
waits for the agreement, clicks "I Agree" with the mouse, and photographs
each stage (agreement, preparing, copying, shortcuts, demonstration).

    drive-sample.py WINLIST_EXE SHOTS_DIR

Runs beside a setup.exe that scripts/run-sample.sh has started; WINEPREFIX
and DISPLAY come from the environment. Windows are found with the project's
own winlist.exe; clicks and screenshots go through the X server.
"""
import json
import os
import subprocess
import sys
import time

WINLIST, SHOTS = sys.argv[1], sys.argv[2]
STATUS_CAPTION = "KARVELO SETUP"


def windows():
    out = subprocess.run(["wine", WINLIST, "list"], capture_output=True, text=True,
                         stdin=subprocess.DEVNULL, timeout=60).stdout
    return [json.loads(line) for line in out.splitlines() if line.startswith("{")]


def find(predicate, listing=None):
    return [w for w in (listing if listing is not None else windows()) if predicate(w)]


def wait(predicate, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        found = find(predicate)
        if found:
            return found[0]
        time.sleep(0.1)
    return None


def shot(name):
    path = os.path.join(SHOTS, name + ".png")
    subprocess.run(["import", "-display", os.environ["DISPLAY"], "-window", "root", path],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    print(f"== screenshot {path}", flush=True)


def status_dialog(text):
    """A visible status dialog whose static text holds `text`."""
    listing = windows()
    for dialog in find(lambda w: w["depth"] == 0 and w["text"] == STATUS_CAPTION
                       and w["visible"], listing):
        if find(lambda c: c["top"] == dialog["hwnd"] and text in c["text"], listing):
            return dialog
    return None


def wait_status(text, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if status_dialog(text):
            return True
        time.sleep(0.1)
    return False


def main():
    agree = wait(lambda w: w["class"].lower() == "button" and w["text"] == "&I Agree"
                 and w["visible"], 60)
    if not agree:
        print("== the agreement dialog did not appear", flush=True)
        return 1
    time.sleep(0.5)
    shot("1-agreement")
    left, top, right, bottom = agree["rect"]
    subprocess.run(["xdotool", "mousemove", str((left + right) // 2), str((top + bottom) // 2),
                    "click", "1"], check=True)

    if wait_status("Preparing", 20):
        time.sleep(0.5)
        shot("2-preparing")
    copying = wait(lambda w: w["class"] == "COPYINGWND" and w["visible"], 30)
    if copying:
        time.sleep(0.6)
        shot("3-copying")
    if wait_status("Creating Shortcuts", 60):
        time.sleep(0.5)
        shot("4-shortcuts")
    demo = wait(lambda w: w["depth"] == 0 and w["text"].startswith("Harbour Atlas -")
                and w["visible"], 30)
    if demo:
        time.sleep(1)
        shot("5-demonstration")
    return 0


if __name__ == "__main__":
    sys.exit(main())
