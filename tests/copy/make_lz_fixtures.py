#!/usr/bin/env python3
"""Writes the files the copy tests expand: a sample with text and binary runs,
its SZDD form made by the independent mscompress tool, and that compressed
file cut short. For the codec's tests also: one long run (references that
overlap and wrap the 4096-byte window), a header that declares 0 bytes, and a
short file that starts with blanks, where mscompress refers to the blank
window before anything is written there; mscompress gets the bytes of files
under 16 bytes wrong, so that one's expected content is what the independent
msexpand makes of it.

usage: make_lz_fixtures.py OUTDIR MSCOMPRESS
"""
import os
import random
import subprocess
import sys


def sample_bytes():
    rng = random.Random(1234)
    parts = []
    for i in range(400):
        parts.append(("line %05d of the sample, some words repeat and repeat\r\n" % i).encode())
        parts.append(bytes(rng.randrange(256) for _ in range(rng.randrange(40, 400))))
    parts.append(bytes(range(256)) * 16)
    return b"".join(parts)


def reads_unwritten_window(packed):
    """True when a reference of `packed` reads a window slot nothing wrote."""
    written = set()
    slot, at = 4096 - 16, 14
    while at < len(packed):
        flags, at = packed[at], at + 1
        for bit in range(8):
            if at >= len(packed):
                break
            if flags >> bit & 1:
                written.add(slot)
                slot, at = (slot + 1) % 4096, at + 1
                continue
            source = packed[at] | (packed[at + 1] & 0xF0) << 4
            for i in range((packed[at + 1] & 0x0F) + 3):
                if (source + i) % 4096 not in written:
                    return True
                written.add(slot)
                slot = (slot + 1) % 4096
            at += 2
    return False


def compress(mscompress, path, data):
    with open(path, "wb") as f:
        f.write(data)
    packed = path + "_"
    if os.path.exists(packed):
        os.remove(packed)
    subprocess.run([mscompress, path], check=True)
    with open(packed, "rb") as f:
        result = f.read()
    if result[:8] != b"SZDD\x88\xf0\x27\x33":
        sys.exit("mscompress did not write an SZDD file")
    return result


def main():
    out, mscompress = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    data = compress(mscompress, os.path.join(out, "sample.bin"), sample_bytes())
    # The header still declares the full size; the body stops half-way.
    with open(os.path.join(out, "short.bin_"), "wb") as f:
        f.write(data[: len(data) // 2])

    lead = compress(mscompress, os.path.join(out, "lead.bin"), b"        abc")
    if not reads_unwritten_window(lead):
        sys.exit("mscompress no longer refers to the blank window before writing it")
    msexpand = os.path.join(os.path.dirname(mscompress), "msexpand")
    expanded = subprocess.run([msexpand], input=lead, stdout=subprocess.PIPE, check=True).stdout
    if len(expanded) != int.from_bytes(lead[10:14], "little"):
        sys.exit("msexpand did not expand the blank-window file to its declared size")
    with open(os.path.join(out, "lead.out"), "wb") as f:
        f.write(expanded)
    compress(mscompress, os.path.join(out, "run.bin"),
             b"start" + b"\xAB" * 9000 + bytes(range(256)) * 20 + b"end")

    # mscompress writes a stray literal for an empty file (and wrong bytes for
    # any file under 16 bytes), so the empty one is the bare header.
    with open(os.path.join(out, "zero.bin_"), "wb") as f:
        f.write(b"SZDD\x88\xf0\x27\x33A\x00" + bytes(4))


if __name__ == "__main__":
    main()
