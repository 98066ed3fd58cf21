#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Writes src/resources/font_tables.cpp: the advance widths and heights of
the typefaces dialogs name, from fonts Debian ships with metrics compatible
with them (fonts-wine: Tahoma, Tahoma Bold, MS Sans Serif; fonts-liberation2:
Liberation Sans, Serif and Mono for Arial, Times New Roman and Courier New).

Each table holds the advance widths in font units, for any size, and the
advances the rasteriser draws at the em heights dialogs use (hinted
outlines rounded to whole pixels, as GDI measures text), which differ from
the scaled widths by a pixel for about a third of the glyphs.

Needs python3-fonttools and python3-freetype (Debian's, hence
/usr/bin/python3).
Usage: scripts/make_font_tables.py [OUTPUT]
"""
import sys

import freetype
from fontTools.ttLib import TTFont

WINE = "/usr/share/wine/fonts/"
LIBERATION = "/usr/share/fonts/truetype/liberation2/"

# (table name, file, bold). The typefaces that map to each table are named
# in text_width.cpp.
FONTS = [
    ("tahoma", WINE + "tahoma.ttf", False),
    ("tahoma_bold", WINE + "tahomabd.ttf", True),
    ("ms_sans_serif", WINE + "ms_sans_serif.ttf", False),
    ("liberation_sans", LIBERATION + "LiberationSans-Regular.ttf", False),
    ("liberation_sans_bold", LIBERATION + "LiberationSans-Bold.ttf", True),
    ("liberation_serif", LIBERATION + "LiberationSerif-Regular.ttf", False),
    ("liberation_serif_bold", LIBERATION + "LiberationSerif-Bold.ttf", True),
    ("liberation_mono", LIBERATION + "LiberationMono-Regular.ttf", False),
]

# The code points listed: Latin with its supplements and extensions, Greek,
# Cyrillic, Latin Extended Additional, general punctuation, the euro sign.
# Each table keeps the part of each block its font has glyphs in.
RANGES = [(0x20, 0x24F), (0x370, 0x3FF), (0x400, 0x4FF), (0x1E00, 0x1EFF),
          (0x2000, 0x206F), (0x20AC, 0x20AC)]

# The em heights in pixels drawn advances are listed for: 6 to 12 points at
# 96 DPI, the sizes dialogs are made in (8 points is 11 pixels).
EM_PIXELS = list(range(8, 17))


def em_units(name, font):
    # The vector copy of MS Sans Serif has an em as tall as its whole cell;
    # Windows' raster MS Sans Serif names its size by the height without
    # the internal leading, which is this font's ascent.
    if name == "ms_sans_serif":
        return font["OS/2"].usWinAscent
    return font["head"].unitsPerEm


def listed_ranges(cmap):
    """The blocks of RANGES trimmed to the code points the font has."""
    ranges = []
    for first, last in RANGES:
        present = [c for c in range(first, last + 1) if c in cmap]
        if present:
            ranges.append((present[0], present[-1]))
    return ranges


def drawn_widths(path, cmap, ranges):
    """{em pixels: [pixels per listed code point, 0 where missing]}, for a
    scalable font; a bitmap-only font has none."""
    face = freetype.Face(path)
    if not face.is_scalable:
        return {}
    strikes = {}
    for em in EM_PIXELS:
        face.set_pixel_sizes(0, em)
        widths = []
        for first, last in ranges:
            for code in range(first, last + 1):
                if code not in cmap:
                    widths.append(0)
                    continue
                face.load_glyph(face.get_char_index(code),
                                freetype.FT_LOAD_NO_BITMAP)
                widths.append((face.glyph.metrics.horiAdvance + 32) >> 6)
        strikes[em] = widths
    return strikes


def number_rows(values):
    return ["    " + ",".join(str(v) for v in values[i:i + 24]) + ","
            for i in range(0, len(values), 24)]


def table_source(name, path, bold):
    font = TTFont(path)
    cmap = font.getBestCmap()
    hmtx = font["hmtx"]
    os2 = font["OS/2"]
    ranges = listed_ranges(cmap)
    out = []
    offset = 0
    range_rows = []
    for first, last in ranges:
        widths = [hmtx[cmap[c]][0] if c in cmap else 0
                  for c in range(first, last + 1)]
        out.append("const uint16_t k_%s_%04X[] = {" % (name, first))
        out.extend(number_rows(widths))
        out.append("};")
        range_rows.append("    {0x%04X, %d, k_%s_%04X, %d}," %
                          (first, len(widths), name, first, offset))
        offset += len(widths)
    out.append("const WidthRange k_%s_ranges[] = {" % name)
    out.extend(range_rows)
    out.append("};")
    strikes = drawn_widths(path, cmap, ranges)
    for em, widths in strikes.items():
        out.append("const uint8_t k_%s_drawn_%d[] = {" % (name, em))
        out.extend(number_rows(widths))
        out.append("};")
    drawn = "nullptr"
    if strikes:
        drawn = "k_%s_drawn" % name
        out.append("const DrawnWidths %s[] = {" % drawn)
        for em in strikes:
            out.append("    {%d, k_%s_drawn_%d}," % (em, name, em))
        out.append("};")
    # A code point the font lacks is drawn as its missing-glyph box.
    default = hmtx[font.getGlyphOrder()[0]][0]
    out.append(("const FontTable k_%s = {\"%s\", %d, %d, %d, %d, %d, %s, "
                "k_%s_ranges, %d, %s, %d};") %
               (name, name, font["head"].unitsPerEm, em_units(name, font),
                os2.usWinAscent, os2.usWinDescent, default,
                "true" if bold else "false", name, len(ranges), drawn,
                len(strikes)))
    return "\n".join(out)


def main():
    output = sys.argv[1] if len(sys.argv) > 1 else \
        "src/resources/font_tables.cpp"
    parts = [
        "// SPDX-License-Identifier: MIT",
        "// Generated by scripts/make_font_tables.py from fonts-wine and",
        "// fonts-liberation2; do not edit. Advance widths in font units, and",
        "// as drawn in pixels at the listed em heights.",
        "// clang-format off",
        '#include "resources/font_tables.h"',
        "",
        "namespace uitrans {",
        "",
        "namespace {",
        "",
    ]
    for name, path, bold in FONTS:
        parts.append(table_source(name, path, bold))
        parts.append("")
    parts.append("}  // namespace")
    parts.append("")
    parts.append("const FontTable* const kFontTables[] = {")
    for name, _, _ in FONTS:
        parts.append("    &k_%s," % name)
    parts.append("};")
    parts.append("const size_t kFontTableCount = %d;" % len(FONTS))
    parts.append("")
    parts.append("}  // namespace uitrans")
    with open(output, "w", encoding="utf-8") as f:
        f.write("\n".join(parts) + "\n")


if __name__ == "__main__":
    main()
