#!/usr/bin/env python3
"""Draws the two pictures of pictures.html: pictures-tile.png, a 64 x 40
checkerboard with a diagonal band (plain RGB PNG), and pictures-badge.bmp,
a 24 x 32 bottom-up 24-bit bitmap with a red frame around a blue field."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def tile(x, y):
    if abs(x - y * 64 // 40) < 4:
        return (230, 120, 20)
    return (20, 90, 160) if (x // 8 + y // 8) % 2 else (240, 240, 200)


def badge(x, y):
    if x < 3 or y < 3 or x >= 21 or y >= 29:
        return (200, 30, 30)
    return (40, 60, 200) if y < 16 else (250, 220, 60)


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png(path, width, height, pixel):
    rows = b"".join(b"\0" + bytes(c for x in range(width) for c in pixel(x, y)) for y in range(height))
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def write_bmp(path, width, height, pixel):
    stride = (width * 3 + 3) // 4 * 4
    bits = b""
    for y in reversed(range(height)):
        row = b"".join(bytes(reversed(pixel(x, y))) for x in range(width))
        bits += row + b"\0" * (stride - len(row))
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(bits), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(bits), 0, 0, 14 + len(info))
    with open(path, "wb") as f:
        f.write(header + info + bits)


write_png(os.path.join(HERE, "pictures-tile.png"), 64, 40, tile)
write_bmp(os.path.join(HERE, "pictures-badge.bmp"), 24, 32, badge)
