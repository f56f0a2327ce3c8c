// Checked access to packed bitmaps; see dib_reader.h.
#include "platform/dib_reader.h"

#include <algorithm>
#include <cstdlib>

bool dib_reader_open(const void* bits, size_t bits_size, const DcBitmapInfoHeader* info, int src_x, int src_y,
                     int src_width, int src_height, DibReader* reader) {
  if (!bits || !info || info->size < sizeof(DcBitmapInfoHeader) || info->width <= 0 || info->height == 0 ||
      info->height == INT32_MIN || info->planes != 1 || info->compression != 0)
    return false;
  const int bit_count = info->bit_count;
  if (bit_count != 1 && bit_count != 4 && bit_count != 8 && bit_count != 24 && bit_count != 32) return false;
  const int height = std::abs(info->height);
  const int64_t row_bytes = ((static_cast<int64_t>(info->width) * bit_count + 31) / 32) * 4;
  if (static_cast<uint64_t>(row_bytes) * static_cast<uint64_t>(height) > bits_size) return false;
  if (src_width <= 0 || src_height <= 0 || src_x < 0 || src_y < 0 || src_width > info->width - src_x ||
      src_height > height - src_y)
    return false;
  int color_count = 0;
  if (bit_count <= 8) {
    color_count = info->clr_used ? static_cast<int>(std::min<uint32_t>(info->clr_used, 256)) : 1 << bit_count;
    color_count = std::min(color_count, 1 << bit_count);
  }
  reader->bits = static_cast<const unsigned char*>(bits);
  reader->colors = reinterpret_cast<const unsigned char*>(info) + info->size;
  reader->color_count = color_count;
  reader->bit_count = bit_count;
  reader->row_bytes = row_bytes;
  reader->width = info->width;
  reader->height = height;
  reader->bottom_up = info->height > 0;
  return true;
}
