#!/usr/bin/env python3
"""Writes the launcher's icon (resource 107) as a Windows .ico file.

Usage: make_icon.py OUT.ico

The icon holds two images, 32x32 and 16x16, each a 32-bit BGRA bitmap with a
1-bit AND mask. The emblem is a shield with a gold rim and a gold keep tower
on dark blue, drawn from a few shapes in unit coordinates with 4x4
supersampling, so both sizes come out smooth. Only the standard library is
used and the output is the same on every run.
"""

import math
import struct
import sys

SUPERSAMPLE = 4

TRANSPARENT = None
GOLD = (0xE8, 0xB8, 0x3A)       # RGB
GOLD_DARK = (0x9C, 0x6E, 0x12)
BLUE = (0x1C, 0x2E, 0x5C)
BLUE_LIGHT = (0x2E, 0x4A, 0x8C)


def in_shield(x, y, scale=1.0):
    """True when (x, y) lies inside the shield, shrunk around its centre by scale."""
    cx, cy = 0.5, 0.52
    x = cx + (x - cx) / scale
    y = cy + (y - cy) / scale
    half_width = 0.42
    top, shoulder, tip = 0.06, 0.52, 0.96
    if y < top or y > tip:
        return False
    dx = abs(x - 0.5)
    if y <= shoulder:
        return dx <= half_width
    t = (y - shoulder) / (tip - shoulder)
    return dx <= half_width * math.sqrt(max(0.0, 1.0 - t * t))


def in_tower(x, y):
    """The keep: a body, a wider crenellated top and a gate cut out at the bottom."""
    body = 0.37 <= x <= 0.63 and 0.40 <= y <= 0.80
    top = 0.30 <= x <= 0.70 and 0.28 <= y <= 0.42
    if 0.28 <= y < 0.34:
        # three merlons with two gaps between them
        if 0.42 <= x <= 0.46 or 0.54 <= x <= 0.58:
            top = False
    gate = abs(x - 0.5) <= 0.06 and 0.64 <= y <= 0.80
    return (body or top) and not gate


def colour_at(x, y):
    """Colour of one sample point, or TRANSPARENT outside the emblem."""
    if not in_shield(x, y):
        return TRANSPARENT
    if not in_shield(x, y, 0.84):
        # rim: lighter towards the top left
        return GOLD if x + y < 1.0 else GOLD_DARK
    if in_tower(x, y):
        return GOLD
    # field: a light upper half and a dark lower half
    return BLUE_LIGHT if y < 0.45 else BLUE


def render(size):
    """Rows of (b, g, r, a) tuples, top row first."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = 0
            covered = 0
            for sy in range(n):
                for sx in range(n):
                    c = colour_at((px + (sx + 0.5) / n) / size,
                                  (py + (sy + 0.5) / n) / size)
                    if c is TRANSPARENT:
                        continue
                    covered += 1
                    r += c[0]
                    g += c[1]
                    b += c[2]
            if covered == 0:
                row.append((0, 0, 0, 0))
            else:
                alpha = round(255 * covered / (n * n))
                row.append((round(b / covered), round(g / covered),
                            round(r / covered), alpha))
        rows.append(row)
    return rows


def bitmap(size):
    """One icon image: BITMAPINFOHEADER, BGRA pixels and the AND mask, bottom-up."""
    rows = render(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):
        for b, g, r, a in row:
            pixels += bytes((b, g, r, a))
    mask = bytearray()
    stride = ((size + 31) // 32) * 4
    for row in reversed(rows):
        line = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + bytes(pixels) + bytes(mask)


def icon(sizes=(32, 16)):
    images = [bitmap(s) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32,
                           len(data), offset)
        offset += len(data)
    return out + b''.join(images)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write('usage: make_icon.py OUT.ico\n')
        return 2
    with open(argv[1], 'wb') as f:
        f.write(icon())
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
