#!/usr/bin/env python3
"""Makes the example assets that are not photographs.

gradient.png: a 451 x 300 RGBA picture (the size of chelsea.png) whose red
rises from left to right and whose blue rises from bottom to top, for the
example graphs to add to or blend with the photograph. Written with the
standard library only, so it runs anywhere.
"""
import struct
import sys
import zlib
from pathlib import Path


def png(path, width, height, pixel):
    rows = bytearray()
    for y in range(height):
        rows.append(0)  # no filter
        for x in range(width):
            rows.extend(pixel(x, y))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)  # 8-bit RGBA
    Path(path).write_bytes(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                           chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b""))


def main():
    out = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "examples" / "assets")
    width, height = 451, 300
    png(out / "gradient.png", width, height,
        lambda x, y: (x * 96 // (width - 1), 0, (height - 1 - y) * 96 // (height - 1), 255))


if __name__ == "__main__":
    main()
