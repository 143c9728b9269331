#!/usr/bin/env python3
"""Writes program.ico: the program's own icon, drawn here (a green chip with a white upward arrow).

Run it again only to change the drawing; the .ico it writes is kept in the repository.
"""
import struct
import sys

GREEN = (0x4B, 0x96, 0x00, 0xFF)  # blue, green, red, alpha: RGB(0,150,75), the bar's colour
DARK = (0x2A, 0x55, 0x00, 0xFF)
WHITE = (0xFF, 0xFF, 0xFF, 0xFF)
CLEAR = (0, 0, 0, 0)


def pixel(size, x, y):
    """The colour at (x, y), y counted from the top."""
    edge = max(1, size // 16)
    if x < edge or y < edge or x >= size - edge or y >= size - edge:
        return DARK
    centre = size / 2
    arrow_top = size * 0.2
    head_bottom = size * 0.5
    shaft_half = size * 0.1
    fx, fy = x + 0.5, y + 0.5
    if arrow_top <= fy < head_bottom and abs(fx - centre) <= (fy - arrow_top):
        return WHITE
    if head_bottom <= fy < size * 0.8 and abs(fx - centre) <= shaft_half:
        return WHITE
    return GREEN


def image(size):
    """One icon image: a BITMAPINFOHEADER, 32-bit rows bottom-up, then the AND mask (all opaque)."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = b"".join(bytes(c for x in range(size) for c in pixel(size, x, y)) for y in reversed(range(size)))
    mask_row = ((size + 31) // 32) * 4
    return header + rows + bytes(mask_row * size)


def icon(sizes):
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


if __name__ == "__main__":
    target = sys.argv[1] if len(sys.argv) > 1 else "program.ico"
    with open(target, "wb") as f:
        f.write(icon([16, 32, 48]))
