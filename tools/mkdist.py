#!/usr/bin/env python3
"""Lays out the sample product's distribution folder, as a vendor would ship it.

    mkdist.py BIN SAMPLE OUT

BIN holds the built setup.exe, stock.dll and demo.exe; SAMPLE is the
sample/ folder of the sources. OUT receives setup.exe, the stock module as
defsetup.dll (the product needs no code: kvlsetup.dat describes it),
kvlsetup.dat, the agreement text stored complemented as modlic.tx_, the
distribution files compressed in the LZ format by the independent mscompress
tool (README.TXT becomes README.TX_), and two files stored plain.
"""
import os
import shutil
import struct
import subprocess
import sys

# Distribution name -> source file. These are stored compressed.
COMPRESSED = {
    "DEMO.EX_": ("bin", "demo.exe"),
    "README.TX_": ("files", "README.TXT"),
    "HARBOUR.TX_": ("files", "HARBOUR.TXT"),
    "PORTS.DA_": ("files", "PORTS.DAT"),
    "TIDES.DA_": ("files", "TIDES.DAT"),
    "GUIDE.TX_": ("files", "GUIDE.TXT"),
}
PLAIN = ["CHARTS.kvt"]


def compress(source, dest, work):
    """mscompress writes FILE_ beside FILE; work in a scratch folder."""
    staged = os.path.join(work, os.path.basename(source))
    shutil.copyfile(source, staged)
    subprocess.run(["mscompress", staged], check=True, stdout=subprocess.DEVNULL)
    os.replace(staged + "_", dest)
    os.remove(staged)


def compass_bitmap():
    """A small 24-bit picture for the module list's Resources folder."""
    size = 32
    rows = []
    for y in range(size):
        row = b""
        for x in range(size):
            dx, dy = x - 15.5, y - 15.5
            inside = dx * dx + dy * dy < 15 * 15
            needle = abs(dx) < 2.5 - abs(dy) / 7 and inside
            b, g, r = (40, 40, 200) if needle and dy > 0 else (230, 230, 230) if needle \
                else (120, 70, 20) if inside else (255, 255, 255)
            row += bytes((b, g, r))
        rows.append(row)
    data = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54) + info + data


def main():
    bin_dir, sample, out = sys.argv[1:4]
    if os.path.isdir(out):
        shutil.rmtree(out)
    os.makedirs(out)
    work = os.path.join(out, ".work")
    os.makedirs(work)

    shutil.copyfile(os.path.join(bin_dir, "setup.exe"), os.path.join(out, "setup.exe"))
    shutil.copyfile(os.path.join(bin_dir, "stock.dll"), os.path.join(out, "defsetup.dll"))
    shutil.copyfile(os.path.join(sample, "kvlsetup.dat"), os.path.join(out, "kvlsetup.dat"))
    with open(os.path.join(sample, "modlic.txt"), "rb") as f:
        text = f.read().replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
    with open(os.path.join(out, "modlic.tx_"), "wb") as f:
        f.write(bytes(b ^ 0xFF for b in text))

    for dist_name, (where, name) in COMPRESSED.items():
        folder = bin_dir if where == "bin" else os.path.join(sample, "files")
        compress(os.path.join(folder, name), os.path.join(out, dist_name), work)
    for name in PLAIN:
        shutil.copyfile(os.path.join(sample, "files", name), os.path.join(out, name))
    with open(os.path.join(out, "COMPASS.BMP"), "wb") as f:
        f.write(compass_bitmap())
    os.rmdir(work)


if __name__ == "__main__":
    main()
