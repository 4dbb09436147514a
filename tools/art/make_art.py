#!/usr/bin/env python3
"""Draws the setup's pictures and writes them as Windows bitmap and icon files.

    make_art.py OUTDIR

writes OUTDIR/background.bmp (600 x 400, 8 bits per pixel, 256 colours),
OUTDIR/backgrnd.bmp (317 x 158, 4 bits per pixel, 16 colours) and
OUTDIR/setup.ico (32 x 32 and 16 x 16, 16 colours). Plain Python, no imaging
library: the art is code so that it can be changed without an image editor.

The look is the one people knew from setup programs of their day: a deep
blue field that darkens toward the bottom, the product's name in white bold
italic capitals with a drop shadow at the top left, and a quiet rule and
"SETUP" under it. The letters are drawn from stroke outlines with smooth edges,
not scaled from a pixel font.
"""
import math
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
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)

# The 20 colours a palette display keeps for itself, at the places it keeps
# them: the picture's palette holds them at the same places, so that realizing
# it leaves 236 entries to the picture and costs none of its colours.
STATIC_LOW = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128),
    (128, 0, 128), (0, 128, 128), (192, 192, 192), (192, 220, 192), (166, 202, 240),
]
STATIC_HIGH = [
    (255, 251, 240), (160, 160, 164), (128, 128, 128), (255, 0, 0), (0, 255, 0),
    (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
FREE_ENTRIES = 256 - len(STATIC_LOW) - len(STATIC_HIGH)

BAYER4 = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]


# ---------------------------------------------------------------------------
# Letters: stroke outlines measured in cap heights (y down, 0 at the top of a
# capital, 1 on the baseline), drawn as a signed distance so edges come out
# smooth at any size.


class Glyph:
    def __init__(self, width, overshoot=0.0):
        self.width = width
        self.overshoot = overshoot  # round letters reach a little past the band
        self.segments = []          # (x0, y0, unit dx, unit dy, length)
        self.dots = []              # round joints inside a path

    def line(self, x0, y0, x1, y1):
        length = math.hypot(x1 - x0, y1 - y0)
        self.segments.append((x0, y0, (x1 - x0) / length, (y1 - y0) / length, length))
        return self

    def path(self, points):
        for (x0, y0), (x1, y1) in zip(points, points[1:]):
            self.line(x0, y0, x1, y1)
        self.dots.extend(points[1:-1])
        return self

    def distance(self, x, y, half):
        """Signed distance from (x, y) to the letter: negative inside."""
        best = 1e9
        for x0, y0, dx, dy, length in self.segments:
            px, py = x - x0, y - y0
            along = px * dx + py * dy
            across = abs(py * dx - px * dy) - half
            ends = max(-along, along - length)
            if ends > 0 and across > 0:
                d = math.hypot(ends, across)
            else:
                d = max(ends, across)
            if d < best:
                best = d
        for cx, cy in self.dots:
            d = math.hypot(x - cx, y - cy) - half
            if d < best:
                best = d
        # Flat tops and baselines: the band of the capitals cuts every stroke.
        return max(best, -self.overshoot - y, y - 1 - self.overshoot)


def arc(cx, cy, rx, ry, start, end, steps=40):
    """Points of an elliptic arc, angles in degrees (y down, so -90 is the top)."""
    return [(cx + rx * math.cos(math.radians(start + (end - start) * i / steps)),
             cy + ry * math.sin(math.radians(start + (end - start) * i / steps)))
            for i in range(steps + 1)]


def make_font(h):
    """Bold capitals for a stroke half-width of `h` cap heights."""
    far = 1.3  # stems run past the band, which then cuts them square
    glyphs = {}
    glyphs['K'] = (Glyph(0.66).line(h, -far, h, far)
                   .line(0.70, -0.08, h + 0.02, 0.60)
                   .line(0.30, 0.40, 0.72, 1.08))
    glyphs['A'] = (Glyph(0.74).path([(0.0, 1.3), (0.37, -0.06), (0.74, 1.3)])
                   .line(0.16, 0.70, 0.58, 0.70))
    bowl = [(h, h)] + arc(0.34, 0.31, 0.24, 0.31 - h, -90, 90) + [(h, 0.62 - h)]
    glyphs['R'] = (Glyph(0.64).line(h, -far, h, far).path(bowl)
                   .line(0.36, 0.56, 0.66, 1.1))
    glyphs['P'] = Glyph(0.60).line(h, -far, h, far).path(bowl)
    glyphs['V'] = Glyph(0.72).path([(0.0, -0.3), (0.36, 1.06), (0.72, -0.3)])
    glyphs['E'] = (Glyph(0.56).line(h, -far, h, far)
                   .line(h, h, 0.56, h).line(h, 0.5, 0.50, 0.5).line(h, 1 - h, 0.57, 1 - h))
    glyphs['L'] = Glyph(0.54).line(h, -far, h, far).line(h, 1 - h, 0.55, 1 - h)
    o = Glyph(0.80, overshoot=0.015)
    glyphs['O'] = o.path(arc(0.40, 0.5, 0.40 - h, 0.5 - h + 0.015, 0, 360, 64))
    s = Glyph(0.60, overshoot=0.015)
    upper = arc(0.30, 0.25 + h / 2, 0.30 - h, 0.25 - h / 2, -35, -270, 40)
    lower = arc(0.30, 0.75 - h / 2, 0.30 - h, 0.25 - h / 2, -90, 145, 40)
    glyphs['S'] = s.path(upper + lower[1:])
    glyphs['T'] = Glyph(0.62).line(0.0, h, 0.62, h).line(0.31, -far, 0.31, far)
    u = Glyph(0.66, overshoot=0.015)
    glyphs['U'] = u.path([(h, -far), (h, 0.6)] + arc(0.33, 0.6, 0.33 - h, 0.4 - h + 0.015,
                                                     180, 0, 30)[1:-1] +
                         [(0.66 - h, 0.6), (0.66 - h, -far)])
    glyphs[' '] = Glyph(0.35)
    return glyphs


KERNING = {'KA': -0.06, 'RV': -0.04, 'LO': -0.07, 'AR': 0.0}


def text_layout(word, font, tracking):
    """(glyph, x offset) pairs and the advance of the word, in cap heights."""
    placed, x = [], 0.0
    for i, ch in enumerate(word):
        placed.append((font[ch], x))
        x += font[ch].width + tracking
        if i + 1 < len(word):
            x += KERNING.get(word[i:i + 2], 0.0)
    return placed, x - tracking


def text_coverage(word, left, top, cap, weight=0.1, slant=0.0, tracking=0.12):
    """How much of each pixel the letters cover, 0 to 1: {(x, y): coverage}."""
    half = weight  # the strokes' half-width, in cap heights
    font = make_font(half)
    placed, _ = text_layout(word, font, tracking)
    coverage = {}
    for glyph, offset in placed:
        x0 = int(left + (offset - 0.1) * cap)
        x1 = int(left + (offset + glyph.width + slant + 0.2) * cap) + 2
        y0 = int(top - 0.1 * cap)
        y1 = int(top + 1.1 * cap) + 2
        for py in range(y0, y1):
            gy = (py + 0.5 - top) / cap
            shift = slant * (1 - gy)
            for px in range(x0, x1):
                gx = (px + 0.5 - left) / cap - offset - shift
                d = glyph.distance(gx, gy, half) * cap
                value = min(1.0, max(0.0, 0.5 - d))
                if value > coverage.get((px, py), 0.0):
                    coverage[(px, py)] = value
    return coverage


def text_width(word, cap, weight=0.1, tracking=0.12, slant=0.0):
    _, advance = text_layout(word, make_font(weight), tracking)
    return (advance + slant) * cap


# ---------------------------------------------------------------------------
# Colour helpers


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def median_cut(colours, count):
    """`count` representative colours of a {colour: weight} histogram."""
    boxes = [list(colours.items())]
    while len(boxes) < count:
        best, best_score, axis = None, -1, 0
        for i, box in enumerate(boxes):
            if len(box) < 2:
                continue
            spans = [max(c[k] for c, _ in box) - min(c[k] for c, _ in box) for k in range(3)]
            weight = sum(w for _, w in box)
            score = max(spans) * math.sqrt(weight)
            if score > best_score:
                best, best_score, axis = i, score, spans.index(max(spans))
        if best is None or best_score <= 0:
            break
        box = sorted(boxes.pop(best), key=lambda item: item[0][axis])
        total, running, cut = sum(w for _, w in box), 0, 1
        for j, (_, w) in enumerate(box):
            running += w
            if running >= total / 2:
                cut = max(1, min(len(box) - 1, j + 1))
                break
        boxes += [box[:cut], box[cut:]]
    result = []
    for box in boxes:
        weight = sum(w for _, w in box)
        result.append(tuple(int(round(sum(c[k] * w for c, w in box) / weight))
                            for k in range(3)))
    return result


def nearest(palette, colour, cache):
    key = tuple(int(round(v)) for v in colour)
    if key not in cache:
        cache[key] = min(range(len(palette)), key=lambda i: sum(
            (palette[i][k] - key[k]) ** 2 * (3, 4, 2)[k] for k in range(3)))
    return cache[key]


# ---------------------------------------------------------------------------
# Pictures of palette indices


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

    def polygon(self, points, index):
        """Fills the pixels whose centres lie inside the polygon."""
        ys = [p[1] for p in points]
        for y in range(max(0, int(min(ys))), min(self.height, int(max(ys)) + 1)):
            cy = y + 0.5
            crossings = []
            for (x0, y0), (x1, y1) in zip(points, points[1:] + points[:1]):
                if (y0 <= cy) != (y1 <= cy):
                    crossings.append(x0 + (cy - y0) * (x1 - x0) / (y1 - y0))
            crossings.sort()
            for a, b in zip(crossings[::2], crossings[1::2]):
                for x in range(max(0, math.ceil(a - 0.5)), min(self.width, math.ceil(b - 0.5))):
                    self.pixels[y][x] = index


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
    assert len(palette) == colours
    table = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in palette)
    info = struct.pack('<IiiHHIIiiII', 40, canvas.width, canvas.height, 1, bits, 0,
                       row_bytes * canvas.height, 2835, 2835, 0, 0)
    offset = 14 + len(info) + len(table)
    data = info + table + b''.join(rows)
    return struct.pack('<2sIHHI', b'BM', 14 + len(data), 0, 0, offset) + data


# ---------------------------------------------------------------------------
# The 600 x 400 picture


SKY_TOP = (10, 40, 196)
SKY_BOTTOM = (0, 0, 14)
TITLE_TOP = (255, 255, 255)
TITLE_BOTTOM = (196, 210, 246)
GOLD = (236, 192, 86)


def sky(y):
    """The field's colour on row y: bright at the top, near black at the bottom."""
    return mix(SKY_TOP, SKY_BOTTOM, (y / 399) ** 1.15)


def background():
    width, height = 600, 400
    # Everything is first drawn in full colour, then put on the palette.
    image = [[sky(y) for _ in range(width)] for y in range(height)]
    overlaid = set()

    def paint(coverage, colour_at, strength=1.0):
        for (x, y), value in coverage.items():
            if 0 <= x < width and 0 <= y < height and value > 0:
                image[y][x] = mix(image[y][x], colour_at(x, y), value * strength)
                overlaid.add((x, y))

    left, top, cap, slant = 34, 30, 54, 0.22
    title = "KARVELO"
    paint(text_coverage(title, left + 4, top + 4, cap, 0.1, slant),
          lambda x, y: (0, 0, 0), 0.8)
    paint(text_coverage(title, left, top, cap, 0.1, slant),
          lambda x, y: mix(TITLE_TOP, TITLE_BOTTOM, min(1, max(0, (y - top) / cap))))

    # A fine gold rule under the name that fades out to the right.
    rule_y, rule_end = top + cap + 16, left + 470
    rule = {}
    for x in range(left + 4, rule_end):
        fade = 1.0 - (x - left) / (rule_end - left)
        rule[(x, rule_y)] = fade
        rule[(x, rule_y + 1)] = fade * 0.55
    paint(rule, lambda x, y: GOLD)

    sub_top, sub_cap = rule_y + 12, 17
    paint(text_coverage("SETUP", left + 6 + 2, sub_top + 2, sub_cap, 0.08, slant, 0.42),
          lambda x, y: (0, 0, 0), 0.7)
    paint(text_coverage("SETUP", left + 6, sub_top, sub_cap, 0.08, slant, 0.42),
          lambda x, y: (226, 232, 250))

    # The palette: the display's own 20 colours where it keeps them, a ramp
    # along the field's colours, and the colours of the letters and the rule.
    ramp_size = 150
    ramp = [tuple(int(round(v)) for v in sky(399 * i / (ramp_size - 1)))
            for i in range(ramp_size)]
    histogram = {}
    for x, y in overlaid:
        key = tuple(int(round(v)) for v in image[y][x])
        histogram[key] = histogram.get(key, 0) + 1
    extra = median_cut(histogram, FREE_ENTRIES - ramp_size)
    extra += [(0, 0, 0)] * (FREE_ENTRIES - ramp_size - len(extra))
    palette = STATIC_LOW + ramp + extra + STATIC_HIGH
    ramp_base = len(STATIC_LOW)

    canvas = Canvas(width, height)
    cache = {}
    for y in range(height):
        # The field is dithered along the ramp so that no band shows.
        position = (y / 399) * (ramp_size - 1)
        row = canvas.pixels[y]
        for x in range(width):
            if (x, y) in overlaid:
                row[x] = nearest(palette, image[y][x], cache)
            else:
                step = position + (BAYER4[y & 3][x & 3] + 0.5) / 16 - 0.5
                row[x] = ramp_base + max(0, min(ramp_size - 1, int(math.floor(step + 0.5))))
    return canvas, palette


# ---------------------------------------------------------------------------
# The 317 x 158 tile for displays with 16 colours


def tile():
    """A navy field with the name pressed into it, laid out so that the
    repeated tiles form an even, staggered pattern without seams."""
    width, height = 317, 158
    canvas = Canvas(width, height, NAVY)
    cap, slant, word = 22, 0.22, "KARVELO"
    span = text_width(word, cap, 0.11, 0.14, slant)
    mask = {}
    # Two names, a quarter and three quarters of the way in, wrapped round
    # the edges: tiled, they alternate row by row like bricks, and the first
    # rows and columns of the window show whole names.
    for cx, cy in ((width / 4, height / 4), (width * 3 / 4, height * 3 / 4)):
        cover = text_coverage(word, cx - span / 2, cy - cap / 2, cap, 0.11, slant, 0.14)
        for (x, y), value in cover.items():
            key = (x % width, y % height)
            mask[key] = max(mask.get(key, 0.0), value)

    def m(x, y):
        return mask.get((x % width, y % height), 0.0)

    for y in range(height):
        for x in range(width):
            # Lit from the top left: edges facing the light are bright blue,
            # those turned away are black; the face keeps the field's navy.
            relief = m(x - 1, y - 1) - m(x + 1, y + 1)
            if relief < -0.45:
                canvas.pixels[y][x] = BLUE
            elif relief > 0.45:
                canvas.pixels[y][x] = BLACK
    return canvas


# ---------------------------------------------------------------------------
# The icon: a disk, an arrow and the drive it goes into


TRANSPARENT = -1


def outline(canvas, inside, colour):
    """Rings the pixels for which `inside` holds with `colour`, 4-connected."""
    ring = []
    for y in range(canvas.height):
        for x in range(canvas.width):
            if inside(x, y):
                continue
            if any(0 <= x + dx < canvas.width and 0 <= y + dy < canvas.height and
                   inside(x + dx, y + dy) for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1))):
                ring.append((x, y))
    for x, y in ring:
        canvas.pixels[y][x] = colour


def draw_disk(c, x0, y0, size):
    """A 3.5-inch disk with its top-right corner cut."""
    s = size
    cut = max(2, s // 7)
    body = [(x0, y0), (x0 + s - cut, y0), (x0 + s, y0 + cut), (x0 + s, y0 + s), (x0, y0 + s)]
    c.polygon(body, NAVY)
    # the metal shutter at the top, with its window
    sx0, sx1 = x0 + s * 5 // 20, x0 + s * 15 // 20
    c.rect(sx0, y0, sx1, y0 + s * 8 // 20, SILVER)
    c.rect(sx0 + s * 6 // 20, y0 + max(1, s // 16), sx0 + s * 8 // 20, y0 + s * 7 // 20, GREY)
    # the label, with two lines of writing
    lx0, lx1 = x0 + s * 3 // 20, x0 + s * 17 // 20
    ly0 = y0 + s * 11 // 20
    c.rect(lx0, ly0, lx1, y0 + s, WHITE)
    if s >= 16:
        c.rect(lx0 + 2, ly0 + 2, lx1 - 3, ly0 + 3, BLUE)
        c.rect(lx0 + 2, ly0 + 5, lx1 - 6, ly0 + 6, BLUE)


def draw_drive(c, x0, y0, x1, y1):
    """A drive box seen from the front, with its slot and its green light."""
    c.rect(x0, y0, x1, y1, SILVER)
    c.rect(x0, y0, x1, y0 + 1, WHITE)                 # lit top edge
    c.rect(x0, y1 - 1, x1, y1, GREY)                  # shaded bottom edge
    slot_y = (y0 + y1) // 2
    c.rect(x0 + 2, slot_y, x1 - 6, slot_y + 1, BLACK)
    c.rect(x1 - 4, slot_y - 1 + (y1 - y0) // 8, x1 - 2, slot_y + 1, LIME)


def draw_arrow(c, cx, top, bottom, shaft, head, colour, shade):
    """A downward arrow: shaft `shaft` wide, head `head` wide with 45-degree
    flanks, its right and lower edges in `shade`."""
    head_top = bottom - head / 2
    points = [(cx - shaft / 2, top), (cx + shaft / 2, top), (cx + shaft / 2, head_top),
              (cx + head / 2, head_top), (cx, bottom), (cx - head / 2, head_top),
              (cx - shaft / 2, head_top)]
    c.polygon(points, colour)
    # Shade the edges turned away from the light so the arrow stands out.
    shape = [[v == colour for v in row] for row in c.pixels]
    for y in range(c.height):
        for x in range(c.width):
            if shape[y][x] and (x + 1 >= c.width or not shape[y][x + 1] or
                                y + 1 >= c.height or not shape[y + 1][x]):
                c.pixels[y][x] = shade


def stamp(target, draw):
    """Draws one part on a layer of its own, rings it in black and lays it over
    `target`: each part keeps its outline where the next one overlaps it."""
    layer = Canvas(target.width, target.height, TRANSPARENT)
    draw(layer)
    shape = [[v != TRANSPARENT for v in row] for row in layer.pixels]
    outline(layer, lambda x, y: shape[y][x], BLACK)
    for y, row in enumerate(layer.pixels):
        for x, v in enumerate(row):
            if v != TRANSPARENT:
                target.pixels[y][x] = v


def draw_icon(size):
    c = Canvas(size, size, TRANSPARENT)
    if size == 32:
        stamp(c, lambda layer: draw_drive(layer, 3, 23, 30, 31))
        stamp(c, lambda layer: draw_disk(layer, 1, 1, 18))
        stamp(c, lambda layer: draw_arrow(layer, 24.5, 4, 21, 5, 13, YELLOW, OLIVE))
    else:
        stamp(c, lambda layer: draw_drive(layer, 1, 12, 15, 15))
        stamp(c, lambda layer: draw_disk(layer, 0, 0, 9))
        stamp(c, lambda layer: draw_arrow(layer, 12.5, 1, 10, 3, 7, YELLOW, YELLOW))
    return c


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
        src = [BLACK if v == TRANSPARENT else v for v in canvas.pixels[y]]
        row = bytes((src[x] << 4) | src[x + 1] for x in range(0, size, 2))
        xor += row + b'\0' * (xor_row - len(row))
        bits = 0
        for x, v in enumerate(canvas.pixels[y]):
            if v == TRANSPARENT:
                bits |= 1 << (and_row * 8 - 1 - x)
        mask += bits.to_bytes(and_row, 'big')
    return info + table + xor + mask


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
