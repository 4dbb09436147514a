"""The main window's background, end to end: setup.exe paints its client area
with the tile on a true-colour display and with the centred picture through
its own palette on a 256-colour display, under a white top row; the pixels on
screen are compared with the pictures inside the built setup.exe.

The setup is held in the probe's Present hook, so no dialog covers the window."""

import re
import struct
import subprocess

import pefile

RT_BITMAP = 2
TILE_SIZE = (317, 158)
PICTURE_SIZE = (600, 400)
CLIENT_SIZE = (594, 395)  # the 600 x 420 frame on Wine's standard metrics
WHITE = (255, 255, 255)


def shipped_picture(setup_exe, name):
    """The packed picture `name` (header, colour table, pixels) inside setup.exe."""
    pe = pefile.PE(str(setup_exe), fast_load=True)
    pe.parse_data_directories(
        directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id != RT_BITMAP:
            continue
        for entry in kind.directory.entries:
            if entry.name is not None and str(entry.name) == name:
                data = entry.directory.entries[0].data.struct
                return pe.get_data(data.OffsetToData, data.Size)
    raise AssertionError(f"setup.exe holds no bitmap {name}")


def decode(packed):
    """Rows (top first) of (r, g, b) of a 4- or 8-bit bottom-up picture."""
    size, width, height, _, bits = struct.unpack_from("<IiiHH", packed)
    used = struct.unpack_from("<I", packed, 32)[0]
    colours = used or 1 << bits
    table = [(packed[size + 4 * i + 2], packed[size + 4 * i + 1], packed[size + 4 * i])
             for i in range(colours)]
    row_bytes = (width * bits + 31) // 32 * 4
    start = size + 4 * colours
    rows = []
    for y in range(height):
        row = packed[start + (height - 1 - y) * row_bytes:][:row_bytes]
        if bits == 8:
            indices = row[:width]
        else:
            indices = [row[x // 2] >> 4 if x % 2 == 0 else row[x // 2] & 15
                       for x in range(width)]
        rows.append([table[i] for i in indices])
    return rows


def client_pixels(scenario, window, name):
    """The client area of `window` as rows of (r, g, b), photographed from its
    own X window, whose colormap is the one its pixels mean (on an 8-bit
    display the root's colormap is not)."""
    env = scenario.env()
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name",
                            "^" + re.escape(window["text"]) + "$"], env=env,
                           capture_output=True, text=True, timeout=30, stdin=subprocess.DEVNULL)
    left, top = window["rect"][0], window["rect"][1]
    width, height = CLIENT_SIZE
    dx, dy = window["client"][0] - left, window["client"][1] - top
    for xid in found.stdout.split():
        shot = scenario.shots / f"{name}.png"
        subprocess.run(["import", "-window", xid, str(shot)], env=env, check=True,
                       timeout=60, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        raw = subprocess.run(["convert", str(shot), "-crop", f"{width}x{height}+{dx}+{dy}",
                              "+repage", "-depth", "8", "rgb:-"], capture_output=True,
                             check=True, timeout=60, stdin=subprocess.DEVNULL).stdout
        if len(raw) != width * height * 3:
            continue  # another X window of that name, not the frame
        return [[tuple(raw[(y * width + x) * 3:(y * width + x) * 3 + 3]) for x in range(width)]
                for y in range(height)]
    raise AssertionError(scenario.report(f"no X window of {window['text']!r} to photograph"))


def start_held(scenario):
    scenario.add_module("probe")
    scenario.probe.hold()
    scenario.start("probe")
    window = scenario.main_window()
    client = window["client"]
    size = (client[2] - client[0], client[3] - client[1])
    assert size == CLIENT_SIZE, scenario.report(f"client area {size}")
    return window


def palette_size(scenario):
    screen = [line for line in scenario.winlist("screen") if "palette" in line]
    return screen[0]["palette"]


def mismatches(scenario, shown, expected_at, what):
    """Compares every pixel below the top row; returns a message on a mismatch."""
    wrong = []
    for y in range(1, len(shown)):
        for x, colour in enumerate(shown[y]):
            if colour != expected_at(x, y):
                wrong.append((x, y, colour, expected_at(x, y)))
    if wrong:
        return scenario.report(f"{len(wrong)} pixels differ from {what}; first: {wrong[:5]}")
    return None


def shown_and_shipped(scenario, palette, shot, resource, size):
    """Starts the setup held and checks the display's palette size, the size of
    the shipped picture `resource` and the white top row of the client area;
    returns the client area's pixels and the shipped picture's."""
    window = start_held(scenario)
    assert palette_size(scenario) == palette
    shown = client_pixels(scenario, window, shot)
    picture = decode(shipped_picture(scenario.bin / "setup.exe", resource))
    assert (len(picture[0]), len(picture)) == size
    assert shown[0] == [WHITE] * CLIENT_SIZE[0], scenario.report("top row not all white")
    return shown, picture


def test_tile_repeats_from_the_top_left_on_a_true_colour_display(scenario):
    shown, tile = shown_and_shipped(scenario, 0, "tiled", "IDB_BACKGRND", TILE_SIZE)
    # Two columns (x 0 and 317) and three rows (y 0, 158, 316), the last ones cut.
    problem = mismatches(scenario, shown, lambda x, y: tile[y % 158][x % 317], "the tile")
    assert problem is None, problem
    for x0, y0 in ((317, 0), (0, 158), (317, 158), (0, 316), (317, 316)):
        assert shown[y0 + 5][x0 + 3:x0 + 40] == tile[5][3:40]


def test_picture_is_centred_in_its_own_colours_on_a_palette_display(scenario):
    scenario.depth = 8
    # Wine maps a realized palette into the X colormap only with a colormap of
    # its own, and shows it only when it draws through the X server rather
    # than into a true-colour copy of the window.
    scenario.set_registry(r"HKCU\Software\Wine\X11 Driver", "PrivateColorMap", "Y")
    scenario.set_registry(r"HKCU\Software\Wine\X11 Driver", "ClientSideGraphics", "N")
    shown, picture = shown_and_shipped(scenario, 256, "palette", "IDB_BACKGROUND", PICTURE_SIZE)
    # (594 - 600) / 2 = -3 and (395 - 400) / 2 = -2: the picture starts at (-3, -2).
    problem = mismatches(scenario, shown, lambda x, y: picture[y + 2][x + 3], "the picture")
    assert problem is None, problem
    colours = {colour for row in shown[1:] for colour in row}
    assert len(colours) > 100, scenario.report(f"only {len(colours)} colours on screen")
