#!/usr/bin/env python3
"""Writes the payload reader's seed inputs (tests/fuzz/corpus/payload/) with
an encoder of its own: the header, table and SHA-256 laid out here, the
frame made by Debian's zstd command. Usage: make_payload_seeds.py OUT_DIR"""
import hashlib
import os
import struct
import subprocess
import sys
import tempfile


def payload(files):
    plain = b"".join(data for _, data in files)
    table = b"".join(struct.pack("<QH", len(data), len(name)) + name for name, data in files)
    with tempfile.NamedTemporaryFile() as source:
        source.write(plain)
        source.flush()
        frame = subprocess.run(["zstd", "-19", "--no-check", "-c", source.name],
                               check=True, capture_output=True).stdout
    header = b"KVLPAK01" + struct.pack("<III", 3, len(files), len(table)) + bytes(12)
    header += struct.pack("<QQ", len(plain), len(frame))
    return header + hashlib.sha256(table + frame + header).digest() + table + frame


out = sys.argv[1]
seeds = {
    "three-files": [(b"README.TXT", b"Atlas readme\r\n" * 20), (b"EMPTY.DAT", b""),
                    (b"DATA.BIN", bytes(range(256)) * 4)],
    "empty-only": [(b"EMPTY.DAT", b"")],
}
for name, files in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(payload(files))
