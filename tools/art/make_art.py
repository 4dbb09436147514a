#!/usr/bin/env python3
"""Draws the setup's pictures and writes them as Windows bitmap and icon files.

    make_art.py OUTDIR

writes OUTDIR/background.bmp (600 x 400, 8 bits per pixel, 256 colours),
OUTDIR/backgrnd.bmp (317 x 158, 4 bits per pixel, 16 colours) and
OUTDIR/setup.ico (32 x 32 and 16 x 16, 16 colours). Plain Python, no imaging
library: the art is code so that it can be changed without an image editor.
"""
import os
import struct
import sys

# The 16 colours every display of the era has: the tile and the icon use only these.
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, TEAL, SILVER, GREY, BLUE, YELLOW, WHITE = 0, 4, 6, 7, 8, 12, 11, 15

# 5 x 7 capitals for the word marks.
FONT = {
    'A': ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    'E': ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    'G': ["01111", "10000", "10000", "10011", "10001", "10001", "01111"],
    'I': ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    'K': ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    'L': ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    'N': ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    'O': ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    'P': ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    'R': ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    'S': ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    'T': ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    'U': ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    'V': ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    ' ': ["00000"] * 7,
}

BAYER4 = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]


class Canvas:
    """A picture of palette indices, row 0 at the top."""

    def __init__(self, width, height, fill=0):
        self.width, self.height = width, height
        self.pixels = [[fill] * width for _ in range(height)]

    def put(self, x, y, index):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = index

    def rect(self, x0, y0, x1, y1, index):
        for y in range(max(y0, 0), min(y1, self.height)):
            row = self.pixels[y]
            for x in range(max(x0, 0), min(x1, self.width)):
                row[x] = index

    def text(self, x, y, words, scale, index):
        for ch in words:
            glyph = FONT[ch]
            for gy, line in enumerate(glyph):
                for gx, bit in enumerate(line):
                    if bit == '1':
                        self.rect(x + gx * scale, y + gy * scale,
                                  x + (gx + 1) * scale, y + (gy + 1) * scale, index)
            x += 6 * scale
        return x


def text_width(words, scale):
    return len(words) * 6 * scale - scale


def bmp_bytes(canvas, palette, bits):
    """An uncompressed bottom-up DIB file with a full colour table (count field 0)."""
    row_bytes = ((canvas.width * bits + 31) // 32) * 4
    rows = []
    for y in range(canvas.height - 1, -1, -1):
        src = canvas.pixels[y]
        if bits == 8:
            row = bytes(src)
        else:
            row = bytes((src[x] << 4) | (src[x + 1] if x + 1 < canvas.width else 0)
                        for x in range(0, canvas.width, 2))
        rows.append(row + b'\0' * (row_bytes - len(row)))
    colours = 1 << bits
    table = b''.join(struct.pack('<BBBB', b, g, r, 0)
                     for (r, g, b) in (palette + [(0, 0, 0)] * colours)[:colours])
    info = struct.pack('<IiiHHIIiiII', 40, canvas.width, canvas.height, 1, bits, 0,
                       row_bytes * canvas.height, 2835, 2835, 0, 0)
    offset = 14 + len(info) + len(table)
    data = info + table + b''.join(rows)
    return struct.pack('<2sIHHI', b'BM', 14 + len(data), 0, 0, offset) + data


def icon_image(canvas):
    """One 16-colour icon image: header (double height), colours, XOR and AND masks."""
    size = canvas.width
    xor_row = ((size * 4 + 31) // 32) * 4
    and_row = ((size + 31) // 32) * 4
    info = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0,
                       (xor_row + and_row) * size, 0, 0, 0, 0)
    table = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in VGA16)
    xor, mask = b'', b''
    for y in range(size - 1, -1, -1):
        src = canvas.pixels[y]
        row = bytes((src[x] << 4) | src[x + 1] for x in range(0, size, 2))
        xor += row + b'\0' * (xor_row - len(row))
        mask += b'\0' * and_row  # fully opaque
    return info + table + xor + mask


def draw_icon(size):
    c = Canvas(size, size, BLACK)
    u = size // 16
    c.rect(0, 0, size, size, TEAL)
    c.rect(u, 3 * u, 15 * u, 15 * u, NAVY)             # a box
    c.rect(2 * u, 4 * u, 14 * u, 14 * u, BLUE)
    c.rect(u, 3 * u, 15 * u, 4 * u, WHITE)
    for i in range(5 * u):                              # a yellow arrow into it
        c.rect(8 * u - i // 2 - u // 2, 6 * u + i, 8 * u + i // 2 + u // 2 + 1, 6 * u + i + 1,
               YELLOW) if i >= 2 * u else c.rect(7 * u, i + u, 9 * u, i + u + 1, YELLOW)
    return c


def write_icon(path):
    images = [icon_image(draw_icon(32)), icon_image(draw_icon(16))]
    header = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b''
    for size, image in zip((32, 16), images):
        entries += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    with open(path, 'wb') as f:
        f.write(header + entries + b''.join(images))


def background():
    """600 x 400: a deep blue sky over a horizon, with the word mark."""
    # Palette: 0-15 the system colours, 16-143 the blue ramp, 144-207 gold, 208-255 greys.
    palette = list(VGA16)
    for i in range(128):
        t = i / 127
        palette.append((int(4 + 20 * t), int(10 + 70 * t), int(60 + 180 * t)))
    for i in range(64):
        t = i / 63
        palette.append((int(120 + 135 * t), int(90 + 130 * t), int(20 + 60 * t)))
    for i in range(48):
        v = int(40 + 215 * i / 47)
        palette.append((v, v, v))
    blue = lambda t: 16 + max(0, min(127, int(t * 127)))
    gold = lambda t: 144 + max(0, min(63, int(t * 63)))

    c = Canvas(600, 400)
    horizon = 300
    for y in range(400):
        for x in range(600):
            if y < horizon:
                t = 0.15 + 0.85 * (y / horizon) ** 1.6
            else:
                t = 0.9 - 0.8 * ((y - horizon) / 100) ** 0.7
            t += (BAYER4[y & 3][x & 3] - 7.5) / 16 / 127 * 3
            c.pixels[y][x] = blue(t)
    # a perspective grid on the ground
    for k in range(-12, 13):
        for y in range(horizon, 400):
            x = int(300 + k * 12 * (y - horizon + 8) / 8)
            c.put(x, y, gold(0.25))
    y, gap = horizon + 2, 2
    while y < 400:
        c.rect(0, y, 600, y + 1, gold(0.25))
        gap = int(gap * 1.5) + 1
        y += gap
    # a sun setting on the horizon
    for yy in range(horizon - 70, horizon):
        for xx in range(230, 371):
            if (xx - 300) ** 2 + (yy - horizon) ** 2 <= 70 * 70 and not (yy // 3) % 4 == 0 or \
                    ((xx - 300) ** 2 + (yy - horizon) ** 2 <= 70 * 70 and yy < horizon - 40):
                c.put(xx, yy, gold(1 - (horizon - yy) / 90))
    # the word mark with a drop shadow
    words, scale = "KARVELO", 9
    x0 = (600 - text_width(words, scale)) // 2
    c.text(x0 + 4, 64, words, scale, 208)
    c.text(x0, 60, words, scale, gold(0.95))
    sub, s2 = "SETUP", 4
    c.text((600 - text_width(sub, s2)) // 2, 140, sub, s2, 255)
    return c, palette


def tile():
    """317 x 158 in the 16 system colours: a dithered blue field with the word mark."""
    c = Canvas(317, 158)
    shades = [BLACK, NAVY, BLUE]
    for y in range(158):
        t = y / 157 * (len(shades) - 1)
        for x in range(317):
            level = t + (BAYER4[y & 3][x & 3] + 0.5) / 16 - 0.5
            c.pixels[y][x] = shades[max(0, min(len(shades) - 1, int(round(level))))]
    for k in range(0, 317 + 158, 24):  # faint diagonal pinstripes
        for i in range(158):
            c.put(k - i, i, NAVY if c.pixels[i][max(0, min(316, k - i))] != NAVY else BLACK)
    words, scale = "KARVELO", 4
    x0 = (317 - text_width(words, scale)) // 2
    c.text(x0 + 2, 52, words, scale, BLACK)
    c.text(x0, 50, words, scale, YELLOW)
    sub = "SETUP"
    c.text((317 - text_width(sub, 2)) // 2, 88, sub, 2, WHITE)
    return c


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else '.'
    os.makedirs(out, exist_ok=True)
    picture, palette = background()
    with open(os.path.join(out, 'background.bmp'), 'wb') as f:
        f.write(bmp_bytes(picture, palette, 8))
    with open(os.path.join(out, 'backgrnd.bmp'), 'wb') as f:
        f.write(bmp_bytes(tile(), VGA16, 4))
    write_icon(os.path.join(out, 'setup.ico'))


if __name__ == '__main__':
    main()
