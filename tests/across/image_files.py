#!/usr/bin/env python3
"""Small image files for the tests and benchmarks of batches across machines. As a program:

    image_files.py OUT.bmp WIDTH HEIGHT CHANNELS   (1: 8-bit gray, 3: 24-bit colour)"""

import struct
import sys
import zlib


def bmp(width, height, channels, seed=0):
    """An 8-bit gray (with its palette) or 24-bit BMP with a pattern of its own per seed."""
    stride = (width * channels + 3) & ~3
    rows = []
    for y in range(height):
        row = bytes((x * (3 + seed) + y * (5 + channels) + seed * 17) & 255 for x in range(width * channels))
        rows.append(row + bytes(stride - len(row)))
    palette = b"".join(bytes((i, i, i, 0)) for i in range(256)) if channels == 1 else b""
    offset = 14 + 40 + len(palette)
    pixels = b"".join(rows)
    return (b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
            + struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8 * channels, 0, len(pixels), 2835, 2835,
                          len(palette) // 4, 0) + palette + pixels)


def gray_png(width, height):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\0" + bytes((x + y) & 255 for x in range(width)) for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    with open(sys.argv[1], "wb") as f:
        f.write(bmp(int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])))
