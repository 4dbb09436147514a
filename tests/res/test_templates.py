"""The resources and exports of the built setup.exe, read with pefile and a
dialog-template reader of our own (the DLGTEMPLATE and DLGTEMPLATEEX layouts
of the platform's documentation), not with the resource compiler that wrote
them: what that compiler could get wrong unseen by the end-to-end scenarios
(a system menu it adds, a control it shows, a default button), the icon, and
the five exported procedures under their plain names.

Needs no Wine: BUILD_DIR names the build folder (CTest sets it)."""

import os
import struct
import xml.etree.ElementTree as ElementTree
from pathlib import Path

import pefile
import pytest

RT_ICON = 3
RT_DIALOG = 5
RT_GROUP_ICON = 14
RT_MANIFEST = 24

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


# ---------------------------------------------------------------------------
# Reading setup.exe


def built_program(name):
    build = os.environ.get("BUILD_DIR")
    if not build:
        pytest.fail("BUILD_DIR is not set: run through CTest, or set it to a build folder")
    path = Path(build) / "bin" / name
    assert path.exists(), f"{path} does not exist: build first"
    return pefile.PE(str(path))


@pytest.fixture(scope="module")
def setup_exe():
    return built_program("setup.exe")


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
        item["class"] = read.name_or_ordinal()
        text = read.name_or_ordinal()
        item["text"] = "" if text is None else text  # a lone 0x0000 is an empty text
        extra = read.take("H")
        item["extra"] = data[read.at:read.at + extra]
        read.at += extra
        items.append(item)
    dialog["items"] = items
    dialog["end"] = read.at
    return dialog


# ---------------------------------------------------------------------------
# The dialogs


def test_the_six_templates_are_there_and_read_to_their_ends(setup_exe, dialogs):
    # Modules load the three the shell never loads; a wrong item count or a
    # misread string in the reader would leave bytes over or run out.
    assert sorted(dialogs) == sorted([
        "DLG_PRESENT", "DLG_PREPARING", "DLG_CREATINGSHTCUTS",
        "DLG_COPYING", "DLG_MSGBOXONEBUT", "DLG_MSGBOXTWOBUT"])
    sizes = {name: len(data) for name, data in resource_entries(setup_exe, RT_DIALOG).items()}
    for name, dialog in dialogs.items():
        assert sizes[name] - 4 < dialog["end"] <= sizes[name], name
        for item in dialog["items"]:
            assert item["extra"] == b"", (name, item["id"])


def test_ids_and_texts_are_the_ones_modules_and_callers_know(dialogs):
    # The shared header states them once; these are the values modules built
    # before it find the controls and captions by.
    present = dialogs["DLG_PRESENT"]
    assert present["title"] == "KARVELO SETUP"
    assert {i["id"]: i["text"] for i in present["items"]} == {
        1172: "&I Agree", 1174: "E&xit", 1006: "", 1011: ""}
    assert [(i["id"], i["text"]) for i in dialogs["DLG_PREPARING"]["items"]] == [
        (1057, "\nPreparing Karvelo files...")]
    assert dialogs["DLG_MSGBOXONEBUT"]["title"] == "KARVELO Setup"


def test_no_dialog_has_a_system_menu(dialogs):
    # The compiler adds one to a template without a STYLE line; the user must
    # have no close box on any of them.
    assert [name for name, d in dialogs.items() if d["style"] & WS_SYSMENU] == []


def test_copying_template_grey_rectangle_starts_hidden(dialogs):
    # A CONTROL line is visible unless it says otherwise; the texts are shown.
    items = {i["id"]: i for i in dialogs["DLG_COPYING"]["items"]}
    grey = items.pop(1006)
    assert grey["style"] & SS_TYPEMASK == SS_GRAYRECT and not grey["style"] & WS_VISIBLE
    assert items and all(i["style"] & WS_VISIBLE for i in items.values())


def test_no_is_the_default_of_the_two_button_box(dialogs):
    kinds = {i["id"]: i["style"] & BS_TYPEMASK for i in dialogs["DLG_MSGBOXTWOBUT"]["items"]}
    assert kinds[1059] == BS_DEFPUSHBUTTON
    assert kinds[1058] == BS_PUSHBUTTON


# ---------------------------------------------------------------------------
# The program file, its exports and icon


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


def test_imports_only_libraries_the_system_takes_from_its_own_folder(setup_exe):
    # Everything else is bound on first call, after the search is restricted;
    # a static import is resolved before any code of ours could protect it.
    imported = sorted(entry.dll.decode().lower() for entry in setup_exe.DIRECTORY_ENTRY_IMPORT)
    assert imported == ["kernel32.dll", "msvcrt.dll"]


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



# ---------------------------------------------------------------------------
# The application manifests

ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
SETTINGS_2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
SETTINGS_2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"
SETTINGS_2019 = "{http://schemas.microsoft.com/SMI/2019/WindowsSettings}"
# Vista, 7, 8, 8.1, 10 and 11.
SUPPORTED_OS = {"{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}


@pytest.mark.parametrize("program, level", [("setup.exe", "requireAdministrator"),
                                            ("uninst.exe", "requireAdministrator"),
                                            ("kvlpack.exe", "requireAdministrator"),
                                            ("kvlship.exe", "asInvoker")])
def test_manifest_asks_for_its_level_and_names_every_supported_system(program, level):
    manifests = resource_entries(built_program(program), RT_MANIFEST)
    assert list(manifests) == [1], "the system reads an .exe's manifest from id 1 only"
    root = ElementTree.fromstring(manifests[1])  # raises on XML that is not well-formed
    assert root.tag == ASM_V1 + "assembly" and root.get("manifestVersion") == "1.0"
    asked = root.findall(f"{ASM_V3}trustInfo/{ASM_V3}security/{ASM_V3}requestedPrivileges/"
                         f"{ASM_V3}requestedExecutionLevel")
    assert [(e.get("level"), e.get("uiAccess")) for e in asked] == [(level, "false")]
    systems = root.findall(f"{COMPATIBILITY}compatibility/{COMPATIBILITY}application/"
                           f"{COMPATIBILITY}supportedOS")
    assert {e.get("Id") for e in systems} == SUPPORTED_OS
    # Neither the common controls 6 nor the UTF-8 code page: both change what
    # modules built before them see.
    assert root.find(f".//{ASM_V1}dependency") is None
    assert root.find(f".//{SETTINGS_2019}activeCodePage") is None
    if program != "kvlship.exe":
        settings = f"{ASM_V3}application/{ASM_V3}windowsSettings/"
        assert root.findtext(settings + SETTINGS_2005 + "dpiAware") == "false"
        assert root.findtext(settings + SETTINGS_2016 + "dpiAwareness") == "unaware"


def engine_version(pe):
    """The fixed version numbers and the two version texts of a program."""
    fixed = pe.VS_FIXEDFILEINFO[0] if hasattr(pe, "VS_FIXEDFILEINFO") else None
    texts = {}
    for info in getattr(pe, "FileInfo", []):
        for entry in info:
            for table in getattr(entry, "StringTable", []):
                texts.update({k.decode(): v.decode() for k, v in table.entries.items()})
    numbers = fixed and (fixed.FileVersionMS, fixed.FileVersionLS,
                         fixed.ProductVersionMS, fixed.ProductVersionLS)
    return numbers, texts.get("FileVersion"), texts.get("ProductVersion")


@pytest.mark.parametrize("program", ["uninst.exe", "kvlpack.exe"])
def test_engine_programs_carry_the_engines_version(setup_exe, program):
    assert engine_version(built_program(program)) == engine_version(setup_exe)
