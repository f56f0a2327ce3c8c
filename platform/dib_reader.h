// Reading the pixels of a packed device-independent bitmap handed to
// stretch_dib, after checking that its header and sizes can be trusted.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/dc.h"

// Reads one pixel of a checked packed bitmap as 0x00RRGGBB; rows count
// from the top of the picture.
struct DibReader {
  const unsigned char* bits = nullptr;
  const unsigned char* colors = nullptr;  // colour table, 4 bytes an entry (blue, green, red, unused)
  int color_count = 0;
  int bit_count = 0;
  int64_t row_bytes = 0;
  int width = 0;
  int height = 0;
  bool bottom_up = false;

  uint32_t pixel(int x, int y) const {
    const int64_t row = bottom_up ? height - 1 - y : y;
    const unsigned char* p = bits + row * row_bytes;
    auto from_table = [&](unsigned index) -> uint32_t {
      if (static_cast<int>(index) >= color_count) return 0;
      const unsigned char* c = colors + 4 * index;
      return (uint32_t{c[2]} << 16) | (uint32_t{c[1]} << 8) | c[0];
    };
    switch (bit_count) {
      case 1: return from_table((p[x >> 3] >> (7 - (x & 7))) & 1);
      case 4: return from_table((p[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF);
      case 8: return from_table(p[x]);
      case 24: p += 3 * static_cast<int64_t>(x); return (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
      default: p += 4 * static_cast<int64_t>(x); return (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
    }
  }
};

// Checks a bitmap (bits_size bytes readable at bits, the colour table after
// the header) and a source rectangle inside it; false for anything that
// cannot be read safely or an empty rectangle.
bool dib_reader_open(const void* bits, size_t bits_size, const DcBitmapInfoHeader* info, int src_x, int src_y,
                     int src_width, int src_height, DibReader* reader);
