#!/usr/bin/python3
"""Regenerates app/fonts/quadfind-sans-tc.otf, the font bundled with the window.

The window's Chinese captions must render on machines without any CJK font,
so the program carries a subset of Noto Sans CJK TC (SIL Open Font License
1.1, see app/fonts/OFL.txt) holding printable ASCII and every other character
that appears in app/Unit1.ui or in a string literal of app/*.cpp. The subset
is renamed "Quadfind Sans TC" so that it never shadows an installed Noto font.

Needs Debian's fonts-noto-cjk and python3-fonttools (only to regenerate; the
build uses the committed file):

    /usr/bin/python3 scripts/subset_font.py
"""

import pathlib
import re
import sys
import xml.etree.ElementTree as ET

from fontTools import subset
from fontTools.ttLib import TTCollection

ROOT = pathlib.Path(__file__).resolve().parent.parent
SOURCE = pathlib.Path("/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc")
SOURCE_FACE = "Noto Sans CJK TC"
OUTPUT = ROOT / "app" / "fonts" / "quadfind-sans-tc.otf"
LICENCE = ROOT / "app" / "fonts" / "OFL.txt"
DEBIAN_COPYRIGHT = pathlib.Path("/usr/share/doc/fonts-noto-cjk/copyright")
FAMILY = "Quadfind Sans TC"


def window_characters():
    chars = {chr(c) for c in range(0x20, 0x7F)}
    for node in ET.parse(ROOT / "app" / "Unit1.ui").iter("string"):
        chars.update(node.text or "")
    literal = re.compile(r'"((?:[^"\\\n]|\\.)*)"')
    for source in sorted((ROOT / "app").glob("*.cpp")):
        for text in literal.findall(source.read_text(encoding="utf-8")):
            chars.update(c for c in text if ord(c) > 0x7E)
    return "".join(sorted(chars))


def source_font():
    collection = TTCollection(str(SOURCE))
    for face in collection.fonts:
        if face["name"].getDebugName(4) == SOURCE_FACE:
            return face
    sys.exit(f"{SOURCE} has no face named {SOURCE_FACE}")


def rename(font):
    names = font["name"]
    for record in list(names.names):
        if record.nameID in (1, 3, 4, 6, 16, 17, 21, 22):
            names.removeNames(nameID=record.nameID)
    names.setName(FAMILY, 1, 3, 1, 0x409)
    names.setName("Regular", 2, 3, 1, 0x409)
    names.setName(f"{FAMILY} Regular; subset of {SOURCE_FACE}", 3, 3, 1, 0x409)
    names.setName(FAMILY, 4, 3, 1, 0x409)
    names.setName(FAMILY.replace(" ", "") + "-Regular", 6, 3, 1, 0x409)
    if "CFF " in font:
        cff = font["CFF "].cff
        cff.fontNames = [FAMILY.replace(" ", "") + "-Regular"]


def licence_text(font):
    """The font's own copyright notice followed by the OFL as Debian ships it."""
    lines = DEBIAN_COPYRIGHT.read_text(encoding="utf-8").splitlines()
    start = lines.index("License: SIL-1.1", lines.index("License: SIL-1.1") + 1)
    body = []
    for line in lines[start + 1:]:
        if not line.startswith(" "):
            break
        body.append("" if line == " ." else line[1:])
    names = font["name"]
    header = [
        f"{OUTPUT.name} is a subset of {SOURCE_FACE}, renamed {FAMILY}, made by",
        "scripts/subset_font.py from Debian's fonts-noto-cjk.",
        "",
        names.getDebugName(0),
        "",
        names.getDebugName(13),
        "",
    ]
    return "\n".join(header + body).rstrip() + "\n"


def main():
    text = window_characters()
    font = source_font()
    options = subset.Options()
    options.name_IDs = ["*"]
    options.name_languages = ["*"]
    options.notdef_outline = True
    subsetter = subset.Subsetter(options)
    subsetter.populate(text=text)
    subsetter.subset(font)
    rename(font)
    OUTPUT.parent.mkdir(parents=True, exist_ok=True)
    font.recalcTimestamp = False  # same input, same bytes
    font.save(str(OUTPUT))
    LICENCE.write_text(licence_text(font), encoding="utf-8")
    cjk = "".join(c for c in text if ord(c) > 0x7E)
    print(f"{OUTPUT.relative_to(ROOT)}: {OUTPUT.stat().st_size} bytes, "
          f"{len(text)} characters, beyond ASCII: {cjk}")


if __name__ == "__main__":
    main()
