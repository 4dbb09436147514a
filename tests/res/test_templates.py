"""The resources and exports of the built setup.exe, read with pefile and a
dialog-template reader of our own (the DLGTEMPLATE and DLGTEMPLATEEX layouts
of the platform's documentation), not with the resource compiler that wrote
them: the dialogs' frames, fonts, titles and controls in their order, the
pictures, the icon, the version, and the five exported procedures.

Needs no Wine: BUILD_DIR names the build folder (CTest sets it)."""

import os
import struct
from pathlib import Path

import pefile
import pytest

RT_BITMAP = 2
RT_ICON = 3
RT_DIALOG = 5
RT_GROUP_ICON = 14
RT_VERSION = 16

DS_SETFONT = 0x40
DS_SHELLFONT = 0x48
WS_VISIBLE = 0x10000000
WS_SYSMENU = 0x00080000
SS_TYPEMASK = 0x1F
SS_GRAYRECT = 0x05
BS_TYPEMASK = 0x0F
BS_PUSHBUTTON = 0x00
BS_DEFPUSHBUTTON = 0x01
IMAGE_FILE_MACHINE_I386 = 0x14C
PE32_MAGIC = 0x10B
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2
VFT_APP = 1

# Predefined control classes, stored as ordinals.
CLASS_ORDINALS = {0x80: "button", 0x81: "edit", 0x82: "static", 0x83: "listbox",
                  0x84: "scrollbar", 0x85: "combobox"}

FONT = (8, "MS Sans Serif")


# ---------------------------------------------------------------------------
# Reading setup.exe


@pytest.fixture(scope="module")
def setup_exe():
    build = os.environ.get("BUILD_DIR")
    if not build:
        pytest.fail("BUILD_DIR is not set: run through CTest, or set it to a build folder")
    path = Path(build) / "bin" / "setup.exe"
    assert path.exists(), f"{path} does not exist: build first"
    return pefile.PE(str(path))


def resource_entries(pe, kind):
    """{name or id: data bytes of its first language} of resource type `kind`."""
    found = {}
    for type_entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if type_entry.id != kind:
            continue
        for entry in type_entry.directory.entries:
            key = str(entry.name) if entry.name is not None else entry.id
            data = entry.directory.entries[0].data.struct
            found[key] = pe.get_data(data.OffsetToData, data.Size)
    return found


@pytest.fixture(scope="module")
def dialogs(setup_exe):
    return {name: parse_dialog(data)
            for name, data in resource_entries(setup_exe, RT_DIALOG).items()}


# ---------------------------------------------------------------------------
# The template reader


class Reader:
    """Walks a template from its start; alignment is counted from that start,
    as the platform does."""

    def __init__(self, data):
        self.data = data
        self.at = 0

    def take(self, layout):
        values = struct.unpack_from("<" + layout, self.data, self.at)
        self.at += struct.calcsize("<" + layout)
        return values if len(values) > 1 else values[0]

    def align(self):
        self.at = (self.at + 3) & ~3

    def text(self):
        """A zero-terminated UTF-16 string."""
        end = self.at
        while self.data[end:end + 2] != b"\0\0":
            end += 2
            if end >= len(self.data):
                raise AssertionError("a string runs past the end of the template")
        value = self.data[self.at:end].decode("utf-16-le")
        self.at = end + 2
        return value

    def name_or_ordinal(self):
        """None (0x0000), an ordinal (0xFFFF, number) or a string."""
        first = struct.unpack_from("<H", self.data, self.at)[0]
        if first == 0:
            self.at += 2
            return None
        if first == 0xFFFF:
            self.at += 2
            return self.take("H")
        return self.text()


def parse_dialog(data):
    """The template `data` as a dict: extended, style, exstyle, helpid, rect,
    menu, class, title, font (size, weight, italic, charset, face) and
    items, each with style, exstyle, helpid, rect, id, class, text, extra;
    `end` is the offset just past the last item."""
    read = Reader(data)
    extended = struct.unpack_from("<HH", data) == (1, 0xFFFF)
    dialog = {"extended": extended}
    if extended:
        read.take("HH")
        dialog["helpid"], dialog["exstyle"], dialog["style"] = read.take("III")
    else:
        dialog["helpid"] = 0
        dialog["style"], dialog["exstyle"] = read.take("II")
    count = read.take("H")
    dialog["rect"] = read.take("hhhh")
    dialog["menu"] = read.name_or_ordinal()
    dialog["class"] = read.name_or_ordinal()
    dialog["title"] = read.text()
    dialog["font"] = None
    if dialog["style"] & DS_SETFONT or dialog["style"] & DS_SHELLFONT == DS_SHELLFONT:
        if extended:
            size, weight, italic, charset = read.take("HHBB")
        else:
            size, weight, italic, charset = read.take("H"), None, None, None
        dialog["font"] = {"size": size, "weight": weight, "italic": italic,
                          "charset": charset, "face": read.text()}
    items = []
    for _ in range(count):
        read.align()
        item = {}
        if extended:
            item["helpid"], item["exstyle"], item["style"] = read.take("III")
            item["rect"] = read.take("hhhh")
            item["id"] = read.take("I")
        else:
            item["helpid"] = 0
            item["style"], item["exstyle"] = read.take("II")
            item["rect"] = read.take("hhhh")
            item["id"] = read.take("H")
        item["class"] = class_name(read.name_or_ordinal())
        text = read.name_or_ordinal()
        item["text"] = "" if text is None else text  # a lone 0x0000 is an empty text
        extra = read.take("H")
        item["extra"] = data[read.at:read.at + extra]
        read.at += extra
        items.append(item)
    dialog["items"] = items
    dialog["end"] = read.at
    return dialog


def class_name(value):
    if isinstance(value, int):
        return CLASS_ORDINALS.get(value, f"#{value:#x}")
    return value.lower() if value else value


def control(item):
    """(id, class, text, rect, style, exstyle) of a parsed item."""
    return (item["id"], item["class"], item["text"], item["rect"], item["style"],
            item["exstyle"])


# ---------------------------------------------------------------------------
# The three dialogs the shell shows


def test_the_templates_are_exactly_the_six_dialogs(dialogs):
    assert sorted(dialogs) == sorted([
        "DLG_PRESENT", "DLG_PREPARING", "DLG_CREATINGSHTCUTS",
        "DLG_COPYING", "DLG_MSGBOXONEBUT", "DLG_MSGBOXTWOBUT"])


def test_every_template_is_read_to_its_end(setup_exe, dialogs):
    # A wrong item count or a misread string would leave bytes over or run out.
    sizes = {name: len(data) for name, data in resource_entries(setup_exe, RT_DIALOG).items()}
    for name, dialog in dialogs.items():
        assert sizes[name] - 4 < dialog["end"] <= sizes[name], name
        for item in dialog["items"]:
            assert item["extra"] == b"", (name, item["id"])


def test_present_frame(dialogs):
    present = dialogs["DLG_PRESENT"]
    assert present["extended"]
    # WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_SETFONT: no system menu, no DS_CENTER.
    assert present["style"] == 0x90C00040
    assert present["exstyle"] == 0
    assert present["helpid"] == 0
    assert present["rect"] == (0, 0, 249, 161)
    assert present["menu"] is None and present["class"] is None
    assert present["title"] == "KARVELO SETUP"
    assert present["font"] == {"size": 8, "weight": 0, "italic": 0, "charset": 1,
                               "face": "MS Sans Serif"}


def test_present_controls_in_tab_order(dialogs):
    controls = [control(item) for item in dialogs["DLG_PRESENT"]["items"]]
    assert controls == [
        (1172, "button", "&I Agree", (68, 144, 50, 14), 0x50010001, 0),
        (1006, "static", "", (8, 8, 234, 49), 0x50021000, 0),
        (1174, "button", "E&xit", (130, 144, 50, 14), 0x50010000, 0),
        (1011, "edit", "", (7, 65, 234, 74), 0x50200804, 0x200),
    ]
    assert all(item["helpid"] == 0 for item in dialogs["DLG_PRESENT"]["items"])


@pytest.mark.parametrize("name, text", [
    ("DLG_PREPARING", "\nPreparing Karvelo files..."),
    ("DLG_CREATINGSHTCUTS", "\nCreating Shortcuts..."),
])
def test_status_dialog(dialogs, name, text):
    status = dialogs[name]
    assert not status["extended"]
    # WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_CENTER | DS_MODALFRAME | DS_SETFONT | DS_3DLOOK.
    assert status["style"] == 0x90C008C4
    assert status["exstyle"] == 0
    assert status["rect"] == (0, 0, 220, 52)
    assert status["menu"] is None and status["class"] is None
    assert status["title"] == "KARVELO SETUP"
    assert (status["font"]["size"], status["font"]["face"]) == FONT
    # The line break puts the words on the box's second line.
    assert [control(item) for item in status["items"]] == [
        (1057, "static", text, (16, 12, 187, 26), 0x50021001, 0)]


# ---------------------------------------------------------------------------
# The three templates the shell keeps but never loads


def test_copying_template(dialogs):
    copying = dialogs["DLG_COPYING"]
    assert copying["extended"]
    assert copying["title"] == ""
    assert copying["rect"][2:] == (52, 100)
    assert (copying["font"]["size"], copying["font"]["face"]) == FONT
    items = copying["items"]
    assert [(i["id"], i["class"], i["text"]) for i in items] == [
        (1000, "static", "Done:"), (1186, "static", "00%"), (1006, "static", "")]
    grey = items[2]
    assert grey["style"] & SS_TYPEMASK == SS_GRAYRECT
    assert not grey["style"] & WS_VISIBLE, "the grey rectangle is hidden"
    assert all(i["style"] & WS_VISIBLE for i in items[:2])


@pytest.mark.parametrize("name, size, buttons", [
    ("DLG_MSGBOXONEBUT", (220, 93), [(1058, "&OK")]),
    ("DLG_MSGBOXTWOBUT", (221, 90), [(1058, "&Yes"), (1059, "&No")]),
])
def test_message_box_templates(dialogs, name, size, buttons):
    box = dialogs[name]
    assert box["title"] == "KARVELO Setup"
    assert box["rect"][2:] == size
    assert not box["style"] & WS_SYSMENU
    assert (box["font"]["size"], box["font"]["face"]) == FONT
    items = box["items"]
    assert [(i["id"], i["class"], i["text"]) for i in items] == [
        (1057, "static", "Message"), (1060, "static", "Question"),
        *[(ident, "button", text) for ident, text in buttons]]


def test_no_is_the_default_of_the_two_button_box(dialogs):
    kinds = {i["id"]: i["style"] & BS_TYPEMASK for i in dialogs["DLG_MSGBOXTWOBUT"]["items"]}
    assert kinds[1059] == BS_DEFPUSHBUTTON
    assert kinds[1058] == BS_PUSHBUTTON


# ---------------------------------------------------------------------------
# The program file, its exports, pictures, icon and version


def test_program_is_a_32_bit_gui_program(setup_exe):
    assert setup_exe.FILE_HEADER.Machine == IMAGE_FILE_MACHINE_I386
    assert setup_exe.OPTIONAL_HEADER.Magic == PE32_MAGIC
    assert setup_exe.OPTIONAL_HEADER.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI
    assert setup_exe.is_exe() and not setup_exe.is_dll()


def test_exports_are_the_five_procedures_by_plain_name(setup_exe):
    symbols = setup_exe.DIRECTORY_ENTRY_EXPORT.symbols
    names = [s.name.decode() if s.name else None for s in symbols]
    assert sorted(names) == sorted(["WndProc", "PresDlgProc", "CopyingDlgProc",
                                    "PreparingDlgProc", "CreatingShtCutsDlgProc"])
    # Each one leads to code, not to another library.
    assert all(s.address and not s.forwarder for s in symbols)


@pytest.mark.parametrize("name, size, bits", [
    ("IDB_BACKGRND", (317, 158), 4),
    ("IDB_BACKGROUND", (600, 400), 8),
])
def test_pictures(setup_exe, name, size, bits):
    pictures = resource_entries(setup_exe, RT_BITMAP)
    assert name in pictures
    data = pictures[name]
    header, width, height, planes, depth, compression = struct.unpack_from("<IiiHHI", data)
    used = struct.unpack_from("<I", data, 32)[0]
    assert (header, width, height, planes, depth) == (40, *size, 1, bits)
    assert compression == 0 and used == 0
    # Colour table and every row are there.
    rows = (width * bits + 31) // 32 * 4 * height
    assert len(data) >= 40 + 4 * (1 << bits) + rows
    table = data[40:40 + 4 * (1 << bits)]
    assert all(table[i + 3] == 0 for i in range(0, len(table), 4)), "reserved bytes not 0"


def test_icon_group_names_icons_that_exist(setup_exe):
    groups = resource_entries(setup_exe, RT_GROUP_ICON)
    assert "SETUPICO" in groups
    group = groups["SETUPICO"]
    reserved, kind, count = struct.unpack_from("<HHH", group)
    assert (reserved, kind) == (0, 1) and count >= 1
    icons = resource_entries(setup_exe, RT_ICON)
    for index in range(count):
        ident = struct.unpack_from("<H", group, 6 + 14 * index + 12)[0]
        assert ident in icons


def test_version_resource(setup_exe):
    assert resource_entries(setup_exe, RT_VERSION)
    fixed = setup_exe.VS_FIXEDFILEINFO[0]
    assert fixed.Signature == 0xFEEF04BD
    assert fixed.FileType == VFT_APP
    strings = {}
    for info in setup_exe.FileInfo[0]:
        for table in getattr(info, "StringTable", []):
            strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    assert strings.get("OriginalFilename") == "setup.exe"
    assert strings.get("FileVersion")
