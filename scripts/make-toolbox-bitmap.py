#!/usr/bin/env python3
"""Writes the settings panels' toolbox image, a 16 x 15 pixel, 16-colour BMP:
a small window with a blue title bar, crossed by a pencil.
   make-toolbox-bitmap.py OUTPUT.bmp
"""
import struct
import sys

# The standard 16-colour palette (blue, green, red order is applied below).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
# One letter per pixel, top row first: palette index by letter.
COLOURS = {'.': 7, 'k': 0, 'b': 4, 'B': 12, 'w': 15, 'g': 8, 'y': 11, 'o': 3, 'r': 9, 'p': 13}
PICTURE = [
    "................",
    "kkkkkkkkkkkkk...",
    "kbbbbbbbbbbbk.rr",
    "kbBBBBBBBBBk.rrr",
    "kkkkkkkkkkk.yyr.",
    "kwwwwwwwwwkyyyk.",
    "kwggggggwkyyyk..",
    "kwwwwwwwkyyyk...",
    "kwgggggkyyyk....",
    "kwwwwwkyyyk.....",
    "kwgggkyyyk......",
    "kwwwkooyk.......",
    "kkkkkookk.......",
    "....kkk.........",
    "....k...........",
]


def bitmap():
    width, height = 16, 15
    row_bytes = 8  # 16 pixels at 4 bits, already a multiple of 4
    pixels = b""
    for line in reversed(PICTURE):  # bottom-up
        assert len(line) == width
        indexes = [COLOURS[c] for c in line]
        pixels += bytes((indexes[i] << 4) | indexes[i + 1] for i in range(0, width, 2))
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, row_bytes * height, 3780, 3780, 16, 16)
    offset = 14 + len(info) + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + palette + pixels


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as out:
        out.write(bitmap())
