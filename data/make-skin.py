#!/usr/bin/env python3
"""Writes skin.bmp, the window's skin: 488 x 149 pixels, 24-bit, laid out as
the window cuts it (columns 15/458/15, rows 15/52/15/52/15): a blue frame
that darkens towards its edge, a lighter band behind the button bar and a
pale field around the player.

    python3 data/make-skin.py data/skin.bmp
"""
import struct
import sys

WIDTH, HEIGHT = 488, 149
COLUMNS = (15, 458, 15)
ROWS = (15, 52, 15, 52, 15)


def band(value, edges):
    """The grid cell (index) a coordinate lies in."""
    start = 0
    for index, size in enumerate(edges):
        if value < start + size:
            return index, value - start, size
        start += size
    return len(edges) - 1, 0, 1


def pixel(x, y):
    column, cx, cw = band(x, COLUMNS)
    row, cy, ch = band(y, ROWS)
    # How far into the frame a margin pixel is (0 at the window's edge).
    depth = 14
    if column == 0:
        depth = min(depth, cx)
    if column == 2:
        depth = min(depth, cw - 1 - cx)
    if row == 0:
        depth = min(depth, cy)
    if row == 4:
        depth = min(depth, ch - 1 - cy)
    if row in (0, 2, 4) or column in (0, 2):
        shade = depth / 14.0
        return (int(40 + 120 * shade), int(80 + 110 * shade), int(140 + 100 * shade))
    if row == 1:
        # Behind the buttons: a gentle vertical gradient.
        t = cy / (ch - 1)
        return (int(215 - 25 * t), int(228 - 20 * t), int(245 - 10 * t))
    return (236, 240, 246)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "skin.bmp"
    stride = (WIDTH * 3 + 3) & ~3
    image = bytearray()
    for y in range(HEIGHT - 1, -1, -1):  # bottom-up rows
        row = bytearray()
        for x in range(WIDTH):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (stride - len(row))
        image += row
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(image), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(image), 2835, 2835, 0, 0)
    with open(out, "wb") as f:
        f.write(header + info + image)


if __name__ == "__main__":
    main()
