#!/usr/bin/python3
"""Writes colour-layers.ttf: a small font whose U+1F600 is a layered colour glyph (COLR/CPAL
version 0), the format of layered colour fonts, beside the bitmap strikes of the emoji font the
system installs. The glyph is two squares side by side, a red one (left) and a blue one (right),
each 400 units wide and 800 high from the baseline, in an em of 1000 units; 'A' is a plain
outline square of the same size. Needs python3-fonttools; the font is kept in the repository.

usage: /usr/bin/python3 tests/data/make_colour_layers_font.py [OUTPUT]
"""
import sys

from fontTools.fontBuilder import FontBuilder
from fontTools.pens.ttGlyphPen import TTGlyphPen


def square(left, right, bottom=0, top=800):
    pen = TTGlyphPen(None)
    pen.moveTo((left, bottom))
    pen.lineTo((left, top))
    pen.lineTo((right, top))
    pen.lineTo((right, bottom))
    pen.closePath()
    return pen.glyph()


def main():
    output = sys.argv[1] if len(sys.argv) > 1 else "colour-layers.ttf"
    order = [".notdef", "A", "smile", "smile.red", "smile.blue"]
    builder = FontBuilder(1000, isTTF=True)
    builder.setupGlyphOrder(order)
    builder.setupCharacterMap({0x41: "A", 0x1F600: "smile"})
    lefts = {".notdef": 100, "A": 100, "smile": 100, "smile.red": 100, "smile.blue": 500}
    rights = {".notdef": 500, "A": 900, "smile": 900, "smile.red": 500, "smile.blue": 900}
    builder.setupGlyf({name: square(lefts[name], rights[name]) for name in order})
    # The left side bearing must be each glyph's own left edge: FreeType places the outline by it.
    builder.setupHorizontalMetrics({name: (1000, lefts[name]) for name in order})
    builder.setupHorizontalHeader(ascent=880, descent=-120)
    builder.setupNameTable({"familyName": "Lumivox Colour Layers", "styleName": "Regular"})
    builder.setupOS2(sTypoAscender=880, sTypoDescender=-120, usWinAscent=880, usWinDescent=120)
    builder.setupPost()
    builder.setupCOLR({"smile": [("smile.red", 0), ("smile.blue", 1)]}, version=0)
    builder.setupCPAL([[(1.0, 0.0, 0.0, 1.0), (0.0, 0.0, 1.0, 1.0)]])
    builder.save(output)


if __name__ == "__main__":
    main()
