#!/usr/bin/env python3
"""Draws report-logo.png, the letterhead logo of samples/report.html: a teal
disc with three white waves and an orange sun, 96 x 96, plain RGB."""
import math
import os
import struct
import zlib

SIZE = 96
TEAL, WHITE, ORANGE = (11, 79, 108), (255, 255, 255), (232, 111, 42)


def pixel(x, y):
    cx = cy = (SIZE - 1) / 2
    r = math.hypot(x - cx, y - cy)
    if r > 46:
        return WHITE
    if math.hypot(x - 62, y - 30) < 11:
        return ORANGE
    for base in (48, 60, 72):
        wave = base + 4 * math.sin((x - 8) / 7.0)
        if abs(y - wave) < 2.2:
            return WHITE
    return TEAL


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


rows = b"".join(b"\0" + bytes(c for x in range(SIZE) for c in pixel(x, y)) for y in range(SIZE))
png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 2, 0, 0, 0)) +
       chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "report-logo.png"), "wb") as f:
    f.write(png)
