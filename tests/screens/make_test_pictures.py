#!/usr/bin/env python3
"""Writes the small and the malformed pictures that paint_test.rc embeds.

    make_test_pictures.py OUTDIR

Each file is a bitmap file (14-byte file header, then the packed picture);
the resource compiler drops the file header, so the resource holds exactly
the bytes after it, however short or odd they are.
"""
import os
import struct
import sys


def header(width, height, bits, colours_used=0, size=40, compression=0):
    h = struct.pack('<IiiHHIIiiII', size, width, height, 1, bits, compression, 0, 0, 0,
                    colours_used, 0)
    return h + b'\0' * (size - 40)


def table(colours):
    return b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in colours)


def rows8(rows):
    """Rows of 8-bit indices, given top first, stored bottom first and padded."""
    out = b''
    for row in reversed(rows):
        data = bytes(row)
        out += data + b'\0' * (-len(data) % 4)
    return out


def bitmap_file(packed):
    return struct.pack('<2sIHHI', b'BM', 14 + len(packed), 0, 0, 14) + packed


TINY_COLOURS = [(200, 10, 20), (30, 40, 250), (0, 160, 0)]

PICTURES = {
    # 3 x 2, three colours: the pixels lie 40 + 3 * 4 bytes in, not 40 + 256 * 4.
    'tiny8.bmp': header(3, 2, 8, colours_used=3) + table(TINY_COLOURS) +
    rows8([[0, 1, 2], [2, 1, 0]]),
    # The same picture behind a 108-byte header: the table follows the header.
    'v4head.bmp': header(3, 2, 8, colours_used=3, size=108) + table(TINY_COLOURS) +
    rows8([[0, 1, 2], [2, 1, 0]]),
    # 16 bits per pixel and no colour count: no colour table is defined.
    'odd16.bmp': header(2, 2, 16) + b'\xff\x7f' * 4,
    # 16 bits per pixel with a count of 2: the table is defined by the count.
    'odd16table.bmp': header(2, 2, 16, colours_used=2) + table([(1, 2, 3), (4, 5, 6)]) +
    struct.pack('<4H', 0x7C00, 0x03E0, 0x001F, 0x7FFF),
    # A whole header and table, but only 10 of the 400 rows.
    'cutrows.bmp': header(600, 400, 8) + table([(i, i, i) for i in range(256)]) +
    b'\x07' * (600 * 10),
    # The table stops after 100 of its 256 entries.
    'cuttable.bmp': header(600, 400, 8) + table([(i, 0, 0) for i in range(100)]),
    # Not even a whole header.
    'shorthead.bmp': header(600, 400, 8)[:20],
    # A header that claims to be longer than the resource.
    'longhead.bmp': struct.pack('<I', 4000) + header(2, 2, 8, colours_used=1)[4:] +
    table([(9, 9, 9)]) + b'\0' * 8,
}


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, packed in PICTURES.items():
        with open(os.path.join(out, name), 'wb') as f:
            f.write(bitmap_file(packed))


if __name__ == '__main__':
    main()
