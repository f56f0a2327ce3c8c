// BMP and DIB decoding: file and info headers, colour tables, plain rows,
// bit fields and RLE8/RLE4 expansion. Every read is bounded by the length
// of the block it comes from.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "image/imf_bmp.h"
#include "image/imf_fileio.h"
#include "image/imf_ops.h"

namespace {

constexpr int64_t kMaxDimension = 100000;

struct free_deleter {
  void operator()(unsigned char* p) const { free(p); }
};

// Where file rows land in the image and how many bytes of them exist.
struct row_source {
  const unsigned char* bits;
  size_t length;
  uint64_t row_size;  // file row bytes, padded to 4
  bool top_down;
  int height;

  int image_row(int64_t file_row) const {
    return top_down ? static_cast<int>(file_row) : height - 1 - static_cast<int>(file_row);
  }
  // Bytes of file row i that lie inside the block (0 when none).
  size_t available(int64_t file_row) const {
    uint64_t start = static_cast<uint64_t>(file_row) * row_size;
    if (start >= length) return 0;
    uint64_t rest = length - start;
    return static_cast<size_t>(rest < row_size ? rest : row_size);
  }
  const unsigned char* row(int64_t file_row) const { return bits + static_cast<size_t>(file_row) * row_size; }
};

void put_packed(imf_image* image, int y, int64_t x, unsigned value) {
  unsigned char* row = image->data + static_cast<size_t>(y) * image->stride;
  switch (image->bpp) {
    case 1: row[x >> 3] |= static_cast<unsigned char>((value & 1u) << (7 - (x & 7))); break;
    case 4: row[x >> 1] |= static_cast<unsigned char>((value & 15u) << ((x & 1) ? 0 : 4)); break;
    default: row[x] = static_cast<unsigned char>(value);
  }
}

// Position of the RLE expander: row and column in storage order.
struct rle_writer {
  imf_image* image;
  const row_source& rows;
  int64_t row_pixels;  // pixels in a padded file row
  int64_t row = 0, column = 0;

  bool finished() const { return row >= image->height; }
  void put(unsigned value) {
    if (column >= row_pixels) {
      column = 0;
      ++row;
    }
    if (row < image->height && column < image->width) put_packed(image, rows.image_row(row), column, value);
    ++column;
  }
};

enum class rle_state { normal, absolute };

// Expands RLE8 (rle8) or RLE4 data. Always succeeds: a delta escape or the
// end of the data leaves what has been written so far.
void dib_rle_decode(imgfilter* context, imf_image* image, const row_source& rows, const unsigned char* data,
                    size_t size, bool rle8) {
  rle_writer writer{image, rows, static_cast<int64_t>(rows.row_size * 8 / static_cast<unsigned>(image->bpp))};
  rle_state state = rle_state::normal;
  unsigned remaining = 0;
  for (size_t i = 0; i + 1 < size && !writer.finished(); i += 2) {
    unsigned first = data[i], second = data[i + 1];
    switch (state) {
      case rle_state::normal:
        if (first > 0) {
          for (unsigned k = 0; k < first; ++k) writer.put(rle8 ? second : ((k & 1) ? second & 15u : second >> 4));
        } else if (second == 0) {
          ++writer.row;
          writer.column = 0;
        } else if (second == 1) {
          return;
        } else if (second == 2) {
          imf_error(context, "Unsupported bitmap type (0 2)");
          return;
        } else {
          state = rle_state::absolute;
          remaining = second;
        }
        break;
      case rle_state::absolute: {
        unsigned pixels[4] = {first, second, 0, 0};
        unsigned count = 2;
        if (!rle8) {
          pixels[0] = first >> 4, pixels[1] = first & 15u, pixels[2] = second >> 4, pixels[3] = second & 15u;
          count = 4;
        }
        for (unsigned k = 0; k < count && remaining > 0; ++k, --remaining) writer.put(pixels[k]);
        if (remaining == 0) state = rle_state::normal;
        break;
      }
      default: imf_error(context, "rle: internal: invalid state"); return;
    }
  }
}

struct channel_mask {
  uint32_t mask;
  int shift_high;  // moves the top bit of the mask to bit 7
  int shift_low;   // the same shifted down by the mask's width
};

channel_mask make_channel(uint32_t mask) {
  channel_mask channel{mask, 0, 0};
  if (!mask) return channel;
  int count = __builtin_popcount(mask);
  int top = 31 - __builtin_clz(mask);
  channel.shift_high = 7 - top;
  channel.shift_low = 7 - top - count;
  return channel;
}

unsigned shifted(uint64_t value, int shift) {
  if (shift >= 0) return static_cast<unsigned>((value << shift) & 0xFF);
  if (shift <= -64) return 0;
  return static_cast<unsigned>((value >> -shift) & 0xFF);
}

unsigned channel_value(const channel_mask& channel, uint32_t pixel) {
  uint64_t bits = pixel & channel.mask;
  if (!channel.mask) return 0;
  return (shifted(bits, channel.shift_high) | shifted(bits, channel.shift_low)) & 0xFF;
}

void dib_bitfields_decode(imgfilter* context, imf_image* image, const row_source& rows, int bit_count,
                          const uint32_t masks[3]) {
  channel_mask channels[3];
  for (int c = 0; c < 3; ++c) channels[c] = make_channel(masks[c]);
  size_t pixel_bytes = bit_count == 16 ? 2 : 4;
  for (int64_t i = 0; i < image->height; ++i) {
    size_t have = rows.available(i);
    if (have == 0) break;
    const unsigned char* in = rows.row(i);
    unsigned char* out = image->data + static_cast<size_t>(rows.image_row(i)) * image->stride;
    for (int64_t x = 0; x < image->width && (static_cast<size_t>(x) + 1) * pixel_bytes <= have; ++x) {
      const unsigned char* p = in + static_cast<size_t>(x) * pixel_bytes;
      uint32_t value = pixel_bytes == 2 ? imf_getu16(context, p) : imf_get32(context, p);
      for (int c = 0; c < 3; ++c) out[3 * x + c] = static_cast<unsigned char>(channel_value(channels[c], value));
    }
  }
}

int bad_dib(imgfilter* context) {
  imf_error(context, "Bad DIB");
  return 0;
}

}  // namespace

int dib_decode(imgfilter* context, imf_image* image, const unsigned char* header, size_t header_length,
               const unsigned char* bits, size_t bits_length) {
  context->big_endian = 0;
  if (!header || header_length < 12) return bad_dib(context);
  uint32_t header_size = imf_get32(context, header);
  int64_t width, height;
  unsigned bit_count;
  uint32_t compression = 0, image_size = 0, colors_used = 0;
  uint32_t masks[3] = {0, 0, 0};
  uint64_t table_offset;
  unsigned entry_size;
  if (header_size == 12) {
    width = imf_getu16(context, header + 4);
    height = imf_getu16(context, header + 6);
    bit_count = imf_getu16(context, header + 10);
    table_offset = 12;
    entry_size = 3;
  } else {
    if (header_size < DIB_INFO_HEADER_SIZE || header_length < DIB_INFO_HEADER_SIZE) return bad_dib(context);
    width = static_cast<int32_t>(imf_get32(context, header + 4));
    height = static_cast<int32_t>(imf_get32(context, header + 8));
    bit_count = imf_getu16(context, header + 14);
    compression = imf_get32(context, header + 16);
    image_size = imf_get32(context, header + 20);
    auto x_ppm = static_cast<int32_t>(imf_get32(context, header + 24));
    auto y_ppm = static_cast<int32_t>(imf_get32(context, header + 28));
    colors_used = imf_get32(context, header + 32);
    table_offset = header_size;
    entry_size = 4;
    if (compression == 3) {
      if ((bit_count != 16 && bit_count != 32) || header_length < DIB_INFO_HEADER_SIZE + 12) return bad_dib(context);
      for (int c = 0; c < 3; ++c) masks[c] = imf_get32(context, header + 40 + 4 * c);
      if (table_offset < DIB_INFO_HEADER_SIZE + 12) table_offset = DIB_INFO_HEADER_SIZE + 12;
    } else if (compression > 2) {
      return bad_dib(context);
    }
    if (x_ppm > 0 && y_ppm > 0 && x_ppm < 100000000 && y_ppm < 100000000 &&
        static_cast<int64_t>(x_ppm) < 10 * static_cast<int64_t>(y_ppm) &&
        static_cast<int64_t>(y_ppm) < 10 * static_cast<int64_t>(x_ppm)) {
      image->x_density = x_ppm;
      image->y_density = y_ppm;
      image->density_unit = 2;
    }
  }
  bool top_down = height < 0;
  if (top_down) height = -height;
  if ((bit_count != 1 && bit_count != 4 && bit_count != 8 && bit_count != 16 && bit_count != 24 && bit_count != 32) ||
      width < 1 || width > kMaxDimension || height < 1 || height > kMaxDimension)
    return bad_dib(context);
  uint64_t colors = colors_used;
  if (colors == 0 && bit_count <= 8) colors = 1u << bit_count;
  if (colors > (uint64_t{1} << bit_count)) return bad_dib(context);
  uint64_t table_end = table_offset + colors * entry_size;
  if (table_end > header_length) return bad_dib(context);

  if (!bits) {
    bits = header + table_end;
    bits_length = header_length - static_cast<size_t>(table_end);
    // RLE data is as long as the header says, within what is there.
    if ((compression == 1 || compression == 2) && image_size && image_size < bits_length) bits_length = image_size;
  }

  image->width = static_cast<int32_t>(width);
  image->height = static_cast<int32_t>(height);
  image->src_bits = static_cast<int32_t>(bit_count);
  image->src_channels = bit_count < 16 ? 1 : 3;
  image->type = bit_count == 1 ? IMF_PAL1 : bit_count == 4 ? IMF_PAL4 : bit_count == 8 ? IMF_PAL8 : IMF_RGB24;
  if (!imf_alloc_pixels(context, image, "dib_decode: Out of memory")) return 0;

  // Colour tables of deeper images only suggest colours; they are skipped.
  if (bit_count <= 8 && colors > 0) {
    if (!imf_alloc_palette(image)) {
      imf_error(context, "dib_decode: No memory for palette");
      return 0;
    }
    image->palette_count = static_cast<int32_t>(colors);
    for (uint64_t i = 0; i < colors; ++i) {
      const unsigned char* entry = header + table_offset + i * entry_size;
      image->palette[i] = {entry[2], entry[1], entry[0], 0};
    }
  }

  row_source rows{bits, bits_length, 4 * ((static_cast<uint64_t>(width) * bit_count + 31) / 32), top_down,
                  image->height};
  if (compression == 1 || compression == 2) {
    if (bit_count > 8) {
      imf_error(context, "dib_decode: Unsupported compression or color type");
      return 0;
    }
    dib_rle_decode(context, image, rows, bits, bits_length, compression == 1);
  } else if (bit_count == 16 || bit_count == 32) {
    if (compression != 3) {
      if (bit_count == 16) {
        masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
      } else {
        masks[0] = 0xFF0000, masks[1] = 0x00FF00, masks[2] = 0x0000FF;
      }
    }
    dib_bitfields_decode(context, image, rows, static_cast<int>(bit_count), masks);
  } else if (bit_count == 24) {
    for (int64_t i = 0; i < height; ++i) {
      size_t have = rows.available(i);
      if (have == 0) break;
      const unsigned char* in = rows.row(i);
      unsigned char* out = image->data + static_cast<size_t>(rows.image_row(i)) * image->stride;
      for (int64_t x = 0; x < width && static_cast<size_t>(3 * x + 3) <= have; ++x) {
        out[3 * x] = in[3 * x + 2];
        out[3 * x + 1] = in[3 * x + 1];
        out[3 * x + 2] = in[3 * x];
      }
    }
  } else {
    for (int64_t i = 0; i < height; ++i) {
      size_t have = rows.available(i);
      if (have == 0) break;
      size_t count = have < static_cast<size_t>(image->stride) ? have : static_cast<size_t>(image->stride);
      memcpy(image->data + static_cast<size_t>(rows.image_row(i)) * image->stride, rows.row(i), count);
    }
  }
  return optimize_image(context, image);
}

int imf_bmp_decode(imgfilter* context, imf_image* image) {
  if (context->input_iotype != IMF_IO_STREAM) {
    imf_error(context, "dib_decode: unsupported input type");
    return 0;
  }
  unsigned char* raw = nullptr;
  size_t length = 0;
  if (!file2memory(context, context->input_stream, &raw, &length)) return 0;
  std::unique_ptr<unsigned char, free_deleter> file(raw);
  context->big_endian = 0;
  if (length < 26) {
    imf_error(context, "invalid BMP file");
    return 0;
  }
  if (raw[0] != 'B' || raw[1] != 'M') {
    imf_error(context, "not a BMP file");
    return 0;
  }
  uint32_t offset = imf_get32(context, raw + 10);
  const unsigned char* bits = nullptr;
  size_t bits_length = 0;
  if (offset != 0) {
    if (offset < 26 || offset >= length) {
      imf_error(context, "invalid BMP file");
      return 0;
    }
    bits = raw + offset;
    bits_length = length - offset;
  }
  return dib_decode(context, image, raw + BMP_FILE_HEADER_SIZE, length - BMP_FILE_HEADER_SIZE, bits, bits_length);
}

int imf_dib_decode_memory(imgfilter* context, imf_image* image) {
  if (context->input_iotype != IMF_IO_MEMORY) {
    imf_error(context, "dib_decode: unsupported input type");
    return 0;
  }
  return dib_decode(context, image, context->input_memory, context->input_memory_length, context->input_bits,
                    context->input_bits_length);
}
