#!/usr/bin/env python3
"""Draws the program icon, a dark red scroll with gold rolls and gold lines
of writing, and writes it as Vellumark.ico: 16, 24, 32 and 48 pixels as
32-bit bitmaps and 256 pixels as PNG. Standard library only; the output is
the same byte for byte on every run.

    python3 resources/make_icon.py [OUT.ico]
"""

import struct
import sys
import zlib
from pathlib import Path

SIZES = (16, 24, 32, 48, 256)
SAMPLES = 4  # per pixel and axis, for smooth edges

DARK_RED = (122, 16, 32)
DEEP_RED = (84, 8, 20)
GOLD = (212, 160, 23)
LIGHT_GOLD = (246, 208, 96)
DARK_GOLD = (140, 96, 10)


def rounded_box(x, y, left, top, right, bottom, radius):
    """True when (x, y) lies inside the box with rounded corners."""
    if not (left <= x <= right and top <= y <= bottom):
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def mix(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(3))


def roll(y, top, bottom):
    """Shading of a gold roll: light along its middle, dark at its edges."""
    t = abs((y - top) / (bottom - top) * 2 - 1)
    return mix(LIGHT_GOLD, DARK_GOLD, t * t)


def colour_at(x, y):
    """The colour of the design at (x, y) in the unit square, or None."""
    # The rolls at the top and the bottom, in front of the sheet.
    for top, bottom in ((0.06, 0.19), (0.81, 0.94)):
        if rounded_box(x, y, 0.10, top, 0.90, bottom, 0.06):
            return roll(y, top, bottom)
    # The sheet: a gold rim around dark red, a little darker near the rolls.
    if rounded_box(x, y, 0.17, 0.12, 0.83, 0.88, 0.03):
        if not rounded_box(x, y, 0.22, 0.12, 0.78, 0.88, 0.02):
            return GOLD
        # Lines of writing.
        for row, (start, end) in enumerate(((0.30, 0.70), (0.30, 0.70), (0.30, 0.62), (0.30, 0.68))):
            centre = 0.32 + row * 0.12
            if start <= x <= end and abs(y - centre) <= 0.028:
                return LIGHT_GOLD
        shade = min(1.0, abs(y - 0.5) / 0.38)
        return mix(DARK_RED, DEEP_RED, shade * shade)
    return None


def render(size):
    """Rows of (r, g, b, a) from the top, each pixel averaged over samples."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = covered = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = colour_at((px + (sx + 0.5) / SAMPLES) / size, (py + (sy + 0.5) / SAMPLES) / size)
                    if c is not None:
                        r, g, b, covered = r + c[0], g + c[1], b + c[2], covered + 1
            if covered:
                row.append((r // covered, g // covered, b // covered, covered * 255 // (SAMPLES * SAMPLES)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def bitmap_entry(rows):
    """A 32-bit icon bitmap: header, colours from the bottom row up, mask."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    stride = (size + 31) // 32 * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + pixels + bytes(mask)


def png_entry(rows):
    size = len(rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    raw = b"".join(b"\x00" + bytes(v for pixel in row for v in pixel) for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).with_name("Vellumark.ico")
    images = [(size, png_entry(rows) if size >= 256 else bitmap_entry(rows))
              for size, rows in ((size, render(size)) for size in SIZES)]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b""
    for size, data in images:
        dim = 0 if size >= 256 else size
        entries += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out.write_bytes(directory + entries + b"".join(data for _, data in images))


if __name__ == "__main__":
    main()
