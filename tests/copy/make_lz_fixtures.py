#!/usr/bin/env python3
"""Writes the files the copy tests expand: a sample with text and binary runs,
its SZDD form made by the independent mscompress tool, and that compressed
file cut short.

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


def main():
    out, mscompress = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    sample = os.path.join(out, "sample.bin")
    with open(sample, "wb") as f:
        f.write(sample_bytes())
    packed = sample + "_"
    if os.path.exists(packed):
        os.remove(packed)
    subprocess.run([mscompress, sample], check=True)
    with open(packed, "rb") as f:
        data = f.read()
    if data[:8] != b"SZDD\x88\xf0\x27\x33":
        sys.exit("mscompress did not write an SZDD file")
    # The header still declares the full size; the body stops half-way.
    with open(os.path.join(out, "short.bin_"), "wb") as f:
        f.write(data[: len(data) // 2])


if __name__ == "__main__":
    main()
