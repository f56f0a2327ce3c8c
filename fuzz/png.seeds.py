#!/usr/bin/env python3
"""Writes small PNG files covering the decoder's colour types and chunks."""
import os
import struct
import sys
import zlib


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png(width, height, depth, color, rows, extra=b"", interlace=0):
    header = struct.pack(">IIBBBBB", width, height, depth, color, 0, 0, interlace)
    raw = b"".join(b"\0" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + extra +
            chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def main():
    directory = sys.argv[1]
    os.makedirs(directory, exist_ok=True)
    ramp = b"".join(bytes((v, v, v)) for v in (0, 85, 170, 255))
    seeds = {
        "gray1": png(9, 1, 1, 0, [b"\xa5\x80"]),
        "gray8_phys_gamma": png(2, 2, 8, 0, [b"\x10\x20", b"\x30\x40"],
                                chunk(b"pHYs", struct.pack(">IIB", 3780, 3780, 1)) +
                                chunk(b"gAMA", struct.pack(">I", 45455))),
        "gray16": png(2, 1, 16, 0, [b"\x12\x34\xab\xcd"]),
        "gray_alpha": png(2, 1, 8, 4, [b"\x4d\x00\x63\xff"]),
        "rgb_srgb": png(1, 1, 8, 2, [b"\x01\x02\x03"], chunk(b"sRGB", b"\0")),
        "rgba": png(2, 1, 8, 6, [b"\x0a\x14\x1e\x00\x28\x32\x3c\xff"]),
        "rgba_bkgd": png(1, 1, 8, 6, [b"\x0a\x14\x1e\x00"],
                         chunk(b"bKGD", struct.pack(">HHH", 0, 200, 0))),
        "rgb16_trns": png(1, 1, 16, 2, [b"\x12\x34\0\0\0\0"],
                          chunk(b"tRNS", struct.pack(">HHH", 0x1234, 0, 0))),
        "pal2_ramp": png(4, 1, 2, 3, [b"\x1b"], chunk(b"PLTE", ramp)),
        "pal2_trns_bkgd": png(3, 1, 2, 3, [b"\x10"],
                              chunk(b"PLTE", b"\xff\0\0\0\0\xff") + chunk(b"bKGD", b"\x01") +
                              chunk(b"tRNS", b"\0")),
        "pal8": png(2, 1, 8, 3, [b"\x00\x01"], chunk(b"PLTE", b"\x10\x20\x30\x40\x50\x60")),
        "interlaced": png(1, 1, 8, 2, [b"\x07\x08\x09"], interlace=1),
    }
    for name, data in seeds.items():
        with open(os.path.join(directory, name + ".png"), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
