#!/usr/bin/env python3
"""Draws the application icon (a blue IC card with its chip and two waves)
and writes it as a Windows .ico with 16, 24, 32 and 48 pixel images.

    make_icon.py OUTPUT.ico

The same picture as the Qt front-end's icon, drawn here without a toolkit:
each pixel is the share of 4x4 sample points that each shape covers, shapes
painted in order over transparent black. Images are 32-bit BGRA bitmaps with
an AND mask, which every Windows version reads.
"""

import math
import struct
import sys

SIZES = (16, 24, 32, 48)
SAMPLES = 4

CARD_EDGE = (0x0A, 0x2A, 0x60)
CARD_TOP = (0x2A, 0x7D, 0xD8)
CARD_BOTTOM = (0x0F, 0x3D, 0x8A)
CHIP = (0xF2, 0xC1, 0x4E)
CHIP_EDGE = (0x8A, 0x64, 0x10)
WHITE = (0xFF, 0xFF, 0xFF)


def inside_rounded(x, y, left, top, width, height, radius):
    if not (left <= x <= left + width and top <= y <= top + height):
        return False
    cx = min(max(x, left + radius), left + width - radius)
    cy = min(max(y, top + radius), top + height - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def shapes(s):
    """(covers(x, y), colour(x, y)) pairs, painted in order."""
    line = s / 32.0
    card = (s * 0.04, s * 0.16, s * 0.92, s * 0.68, s * 0.09)
    chip = (s * 0.14, s * 0.34, s * 0.28, s * 0.22, s * 0.03)

    def gradient(x, y):
        t = min(max(((x - card[0]) + (y - card[1])) / (card[2] + card[3]), 0.0), 1.0)
        return tuple(round(a + (b - a) * t) for a, b in zip(CARD_TOP, CARD_BOTTOM))

    def ring(x, y, radius, width):
        ox, oy = s * 0.58, s * 0.62
        if x < ox - width or y > oy + width:
            return False  # the quarter towards the top right only
        return abs(math.hypot(x - ox, y - oy) - radius) <= width / 2

    def grown(box, by):
        left, top, width, height, radius = box
        return (left - by, top - by, width + 2 * by, height + 2 * by, radius + by)

    wave = max(1.0, s / 16.0)
    chip_cx, chip_cy = chip[0] + chip[2] / 2, chip[1] + chip[3] / 2
    return [
        (lambda x, y: inside_rounded(x, y, *grown(card, line / 2)), lambda x, y: CARD_EDGE),
        (lambda x, y: inside_rounded(x, y, *grown(card, -line / 2)), gradient),
        (lambda x, y: inside_rounded(x, y, *grown(chip, line / 2)), lambda x, y: CHIP_EDGE),
        (lambda x, y: inside_rounded(x, y, *grown(chip, -line / 2)), lambda x, y: CHIP),
        (lambda x, y: chip[0] <= x <= chip[0] + chip[2] and abs(y - chip_cy) <= line / 2, lambda x, y: CHIP_EDGE),
        (lambda x, y: chip[1] <= y <= chip[1] + chip[3] and abs(x - chip_cx) <= line / 2, lambda x, y: CHIP_EDGE),
        (lambda x, y: ring(x, y, s * 0.14, wave) or ring(x, y, s * 0.26, wave), lambda x, y: WHITE),
        (lambda x, y: math.hypot(x - s * 0.58, y - s * 0.62) <= s * 0.045, lambda x, y: WHITE),
    ]


def render(size):
    """Rows top to bottom of (r, g, b, a) pixels."""
    layers = shapes(float(size))
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0.0  # premultiplied
            for covers, colour in layers:
                hits = 0
                for sy in range(SAMPLES):
                    for sx in range(SAMPLES):
                        if covers(px + (sx + 0.5) / SAMPLES, py + (sy + 0.5) / SAMPLES):
                            hits += 1
                if not hits:
                    continue
                share = hits / SAMPLES ** 2
                cr, cg, cb = colour(px + 0.5, py + 0.5)
                r = cr * share + r * (1 - share)
                g = cg * share + g * (1 - share)
                b = cb * share + b * (1 - share)
                a = 255 * share + a * (1 - share)
            if a > 0:
                scale = 255.0 / a
                row.append((round(r * scale), round(g * scale), round(b * scale), round(a)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def bitmap(size):
    """One icon image: header, BGRA pixels bottom-up, then the AND mask."""
    rows = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for r, g, b, a in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def icon_file():
    images = [bitmap(size) for size in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: make_icon.py OUTPUT.ico\n")
        return 2
    with open(sys.argv[1], "wb") as f:
        f.write(icon_file())
    return 0


if __name__ == "__main__":
    sys.exit(main())
