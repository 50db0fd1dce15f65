#!/usr/bin/env python3
"""Writes the glyph strip (buttons.bmp) from the pictures below. (The icon is drawn in
src/resources/recicon.mvg and made at every size by the build.)

The outputs are committed; a test checks every glyph pixel of the strip, so rerun this
after changing a picture: python3 tools/make_images.py src/resources
"""
import struct
import sys

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_RED, SILVER, GRAY, WHITE = 0, 1, 7, 8, 15
GW, GH, COUNT = 25, 17, 5


def triangles(glyph, starts, right):
    """Rows 3..8 widen by two columns a row; rows 9..13 mirror rows 7..3."""
    for k in range(6):
        for s in starts:
            cols = range(s - 2 * k, s + 1) if not right else range(s, s + 2 * k + 1)
            for c in cols:
                glyph[3 + k][c] = BLACK
                if k < 5:
                    glyph[13 - k][c] = BLACK


def glyphs():
    out = [[[SILVER] * GW for _ in range(GH)] for _ in range(COUNT)]
    triangles(out[0], (11, 22), right=False)
    for c in range(1, 23):
        out[0][8][c] = BLACK
    triangles(out[1], (1, 12), right=True)
    triangles(out[2], (8,), right=True)
    for r in range(4, 13):
        for c in range(6, 19):
            out[3][r][c] = BLACK
    disc = {3: (11, 14), 4: (9, 16), 5: (8, 17), 6: (8, 17), 7: (7, 18), 8: (7, 18),
            9: (7, 18), 10: (7, 18), 11: (8, 17), 12: (8, 17), 13: (9, 16), 14: (11, 14)}
    for r, (a, b) in disc.items():
        for c in range(a, b + 1):
            out[4][r][c] = DARK_RED
    return out


def pack4(rows, width):
    """Bottom-up rows of 4-bit indices, each row padded to 4 bytes."""
    data = b""
    for row in reversed(rows):
        nibbles = row + [0] * (width % 2)
        line = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, len(nibbles), 2))
        data += line + b"\0" * (-len(line) % 4)
    return data


def palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)


def write_strip(path):
    g = glyphs()
    rows = [sum((g[i][r] for i in range(COUNT)), []) for r in range(GH)]
    width = GW * COUNT
    pixels = pack4(rows, width)
    info = struct.pack("<IiiHHIIiiII", 40, width, GH, 1, 4, 0, len(pixels), 2835, 2835, 16, 16)
    offset = 14 + len(info) + 64
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(header + info + palette_bytes() + pixels)


if __name__ == "__main__":
    folder = sys.argv[1] if len(sys.argv) > 1 else "src/resources"
    write_strip(folder + "/buttons.bmp")
