#!/usr/bin/env python3
"""Writes small BMP files (mode bmp) or bare DIBs (mode dib) into DIR."""
import os
import struct
import sys


def info(width, height, bits, compression=0, colors=0, image_size=0, ppm=(0, 0)):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression,
                       image_size, ppm[0], ppm[1], colors, 0)


def gray_table(n):
    step = 255 // (n - 1)
    return b"".join(bytes((i * step,) * 3 + (0,)) for i in range(n))


def samples():
    out = {}
    out["rgb24"] = info(2, 2, 24) + bytes([1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0])
    out["pal8_topdown"] = info(3, -2, 8, colors=2) + bytes([0, 0, 255, 0, 0, 255, 0, 0]) + \
        bytes([0, 1, 0, 0, 1, 1, 0, 0])
    out["gray1"] = info(8, 1, 1, ppm=(2835, 2835)) + gray_table(2) + bytes([0xA5, 0, 0, 0])
    out["pal4"] = info(5, 1, 4) + gray_table(16)[::-1] + bytes([0x12, 0x34, 0x50, 0])
    out["rle8"] = info(6, 2, 8, 1, 256, 12) + gray_table(256) + \
        bytes([3, 0x41, 0, 3, 1, 2, 3, 0, 0, 0, 0, 1])
    out["rle8_delta"] = info(4, 1, 8, 1, 2, 6) + gray_table(2) + bytes([2, 1, 0, 2, 5, 1])
    out["rle4"] = info(5, 2, 4, 2, 16, 8) + gray_table(16) + \
        bytes([0x0A, 0x12, 0, 5, 0x34, 0x56, 0x70, 0, 0, 1])
    out["rgb555"] = info(2, 1, 16) + bytes([0xFF, 0x7F, 0x21, 0x04])
    out["bitfields565"] = info(1, 1, 16, 3) + struct.pack("<III", 0xF800, 0x07E0, 0x1F) + \
        bytes([0xE0, 0x07, 0, 0])
    out["rgb32"] = info(1, 2, 32) + bytes([1, 2, 3, 0, 4, 5, 6, 0])
    out["core"] = struct.pack("<IHHHH", 12, 2, 1, 1, 4) + bytes([0, 0, 255, 255, 0, 0]) + \
        bytes(3 * 14) + bytes([0x01, 0, 0, 0])
    return out


def main():
    mode, directory = sys.argv[1], sys.argv[2]
    os.makedirs(directory, exist_ok=True)
    for name, dib in samples().items():
        if mode == "bmp":
            data = b"BM" + struct.pack("<IIi", len(dib) + 14, 0, 0) + dib
        else:
            data = b"\0" + dib
        with open(os.path.join(directory, name + "." + mode), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
