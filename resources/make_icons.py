#!/usr/bin/env python3
"""Draws Lumivox's program icon: lumivox.svg and the PNG sizes in icons/.

The icon is a play triangle on a dark rounded square with three comment bars scrolling across
it. Both outputs come from the one shape list below, so they agree. Pure Python (zlib only):
    python3 resources/make_icons.py
"""

import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SIZES = (16, 32, 48, 64, 128, 256)
BOX = 256.0  # the design's coordinate box

TOP, BOTTOM = (0x2A, 0x3D, 0x74), (0x10, 0x17, 0x36)  # background gradient
BACKGROUND = (8, 8, 240, 240, 44)  # x, y, width, height, corner radius
TRIANGLE = ((94, 70), (94, 186), (190, 128))
TRIANGLE_COLOUR = (0xFF, 0xFF, 0xFF)
BARS = (  # x, y, width, height (capsules), colour
    (118, 40, 110, 18, (0xFF, 0xD9, 0x3B)),
    (198, 119, 40, 18, (0x5E, 0xE0, 0xFF)),
    (28, 198, 124, 18, (0xFF, 0x6F, 0x91)),
)


def in_rounded_rect(px, py, x, y, w, h, r):
    if px < x or py < y or px > x + w or py > y + h:
        return False
    cx = min(max(px, x + r), x + w - r)
    cy = min(max(py, y + r), y + h - r)
    return (px - cx) ** 2 + (py - cy) ** 2 <= r * r


def in_triangle(px, py, points):
    (x1, y1), (x2, y2), (x3, y3) = points
    d1 = (px - x2) * (y1 - y2) - (x1 - x2) * (py - y2)
    d2 = (px - x3) * (y2 - y3) - (x2 - x3) * (py - y3)
    d3 = (px - x1) * (y3 - y1) - (x3 - x1) * (py - y1)
    negative = d1 < 0 or d2 < 0 or d3 < 0
    positive = d1 > 0 or d2 > 0 or d3 > 0
    return not (negative and positive)


def colour_at(px, py):
    """The colour (r, g, b, a) of one sample point in design coordinates."""
    x, y, w, h, r = BACKGROUND
    if not in_rounded_rect(px, py, x, y, w, h, r):
        return (0, 0, 0, 0)
    t = (py - y) / h
    colour = tuple(round(a + (b - a) * t) for a, b in zip(TOP, BOTTOM))
    for bx, by, bw, bh, bar_colour in BARS:
        if in_rounded_rect(px, py, bx, by, bw, bh, bh / 2):
            colour = bar_colour
    if in_triangle(px, py, TRIANGLE):
        colour = TRIANGLE_COLOUR
    return colour + (255,)


def render(size, samples=4):
    rows = []
    scale = BOX / size
    for j in range(size):
        row = bytearray([0])  # filter type: none
        for i in range(size):
            acc = [0, 0, 0, 0]
            for sj in range(samples):
                for si in range(samples):
                    px = (i + (si + 0.5) / samples) * scale
                    py = (j + (sj + 0.5) / samples) * scale
                    r, g, b, a = colour_at(px, py)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = samples * samples
            alpha = acc[3] / n
            if acc[3] == 0:
                row += bytes(4)
            else:
                row += bytes([round(acc[0] / acc[3]), round(acc[1] / acc[3]),
                              round(acc[2] / acc[3]), round(alpha)])
        rows.append(bytes(row))
    return b"".join(rows)


def png(size, pixels):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(pixels, 9)) + chunk(b"IEND", b""))


def hex_colour(rgb):
    return "#%02x%02x%02x" % rgb


def svg():
    x, y, w, h, r = BACKGROUND
    parts = [
        '<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">',
        '  <defs><linearGradient id="bg" x1="0" y1="0" x2="0" y2="1">'
        f'<stop offset="0" stop-color="{hex_colour(TOP)}"/>'
        f'<stop offset="1" stop-color="{hex_colour(BOTTOM)}"/></linearGradient></defs>',
        f'  <rect x="{x}" y="{y}" width="{w}" height="{h}" rx="{r}" fill="url(#bg)"/>',
    ]
    for bx, by, bw, bh, colour in BARS:
        parts.append(f'  <rect x="{bx}" y="{by}" width="{bw}" height="{bh}" rx="{bh / 2:g}" '
                     f'fill="{hex_colour(colour)}"/>')
    points = " ".join(f"{px},{py}" for px, py in TRIANGLE)
    parts.append(f'  <polygon points="{points}" fill="{hex_colour(TRIANGLE_COLOUR)}"/>')
    parts.append("</svg>")
    return "\n".join(parts) + "\n"


def main():
    with open(os.path.join(HERE, "lumivox.svg"), "w", encoding="ascii") as out:
        out.write(svg())
    for size in SIZES:
        with open(os.path.join(HERE, "icons", f"lumivox-{size}.png"), "wb") as out:
            out.write(png(size, render(size)))


if __name__ == "__main__":
    main()
