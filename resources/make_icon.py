#!/usr/bin/env python3
"""Draws the application icon of fenwrack and writes it as a Windows .ico file.

The picture: a page with a folded corner (the archive) and three coloured tiles beside it
(the parts taken out of it). Two images: 32x32 in 256 colours and 16x16 in 16 colours, each
a palette bitmap with a transparency mask, as the icon resource IDI_ICON1 expects.

    python3 resources/make_icon.py            # writes resources/fenwrack.ico
    python3 resources/make_icon.py --check    # fails when the checked-in file differs
"""

import os
import struct
import sys

# Colours by name, RGB. The 16-colour image uses only the standard 16-colour palette.
COLOURS_256 = {
    "clear": (0, 0, 0),
    "outline": (32, 40, 64),
    "page": (252, 250, 240),
    "fold": (200, 204, 214),
    "text": (70, 110, 190),
    "red": (214, 64, 52),
    "green": (58, 160, 80),
    "amber": (236, 160, 30),
    "shadow": (120, 124, 134),
}

VGA_16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]

# Each name drawn in the 16-colour image as this entry of VGA_16.
VGA_INDEX = {
    "clear": 0, "outline": 0, "page": 15, "fold": 7, "text": 12,
    "red": 9, "green": 2, "amber": 11, "shadow": 8,
}


def fill(canvas, x0, y0, x1, y1, colour):
    """Fills the rectangle x0..x1, y0..y1 (inclusive), rows from the top."""
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            canvas[y][x] = colour


def draw_page(canvas, left, top, right, bottom, fold):
    """A page with its top right corner folded over by fold pixels."""
    fill(canvas, left, top, right, bottom, "outline")
    fill(canvas, left + 1, top + 1, right - 1, bottom - 1, "page")
    # cut the corner away, then draw the folded-over triangle
    for i in range(fold + 1):
        for x in range(right - fold + i, right + 1):
            canvas[top + i][x] = "clear"
    for i in range(fold + 1):
        canvas[top + i][right - fold + i] = "outline"
        canvas[top + fold][right - fold + i] = "outline"
        canvas[top + i][right - fold] = "outline"
    for i in range(1, fold):
        for x in range(right - fold + 1, right - fold + i):
            canvas[top + i][x] = "fold"


def draw_tile(canvas, left, top, size, colour, shadow):
    if shadow:
        fill(canvas, left + 1, top + 1, left + size, top + size, "shadow")
    fill(canvas, left, top, left + size - 1, top + size - 1, "outline")
    fill(canvas, left + 1, top + 1, left + size - 2, top + size - 2, colour)


def picture_32():
    c = [["clear"] * 32 for _ in range(32)]
    draw_page(c, 3, 2, 20, 29, 6)
    for y in (11, 14, 17, 20, 23, 26):
        fill(c, 6, y, 17 if y != 26 else 12, y, "text")
    fill(c, 6, 8, 11, 8, "text")
    draw_tile(c, 22, 4, 8, "red", True)
    draw_tile(c, 22, 13, 8, "green", True)
    draw_tile(c, 22, 22, 8, "amber", True)
    return c


def picture_16():
    c = [["clear"] * 16 for _ in range(16)]
    draw_page(c, 1, 1, 10, 14, 3)
    for y in (6, 8, 10, 12):
        fill(c, 3, y, 8, y, "text")
    draw_tile(c, 12, 1, 4, "red", False)
    draw_tile(c, 12, 6, 4, "green", False)
    draw_tile(c, 12, 11, 4, "amber", False)
    return c


def padded_row(data):
    return data + b"\0" * (-len(data) % 4)


def bitmap(canvas, bits, palette, index_of):
    """BITMAPINFOHEADER, palette, colour rows and mask rows (both bottom-up)."""
    size = len(canvas)
    colour_rows = []
    mask_rows = []
    for row in reversed(canvas):
        indexes = [0 if name == "clear" else index_of[name] for name in row]
        if bits == 8:
            colour_rows.append(padded_row(bytes(indexes)))
        else:
            packed = bytes((indexes[i] << 4) | indexes[i + 1] for i in range(0, size, 2))
            colour_rows.append(padded_row(packed))
        mask = bytearray((size + 7) // 8)
        for x, name in enumerate(row):
            if name == "clear":
                mask[x // 8] |= 0x80 >> (x % 8)
        mask_rows.append(padded_row(bytes(mask)))
    pixels = b"".join(colour_rows) + b"".join(mask_rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, len(pixels), 0, 0, 0, 0)
    entries = list(palette) + [(0, 0, 0)] * ((1 << bits) - len(palette))
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in entries)
    return header + table + pixels


def icon_bytes():
    names = list(COLOURS_256)
    big = bitmap(picture_32(), 8, [COLOURS_256[n] for n in names],
                 {n: i for i, n in enumerate(names)})
    small = bitmap(picture_16(), 4, VGA_16, VGA_INDEX)
    images = [(32, 0, 8, big), (16, 16, 4, small)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, colours, bits, data in images:
        out += struct.pack("<BBBBHHII", size, size, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, _, _, data in images)


def main():
    target = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fenwrack.ico")
    data = icon_bytes()
    if sys.argv[1:] == ["--check"]:
        with open(target, "rb") as f:
            if f.read() != data:
                sys.exit(f"{target} differs from what {sys.argv[0]} draws; run it again")
        return
    with open(target, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
