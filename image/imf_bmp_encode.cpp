// DIB encoding (header, colour table, bottom-up padded rows), BMP files,
// the memory DIB writer and the BMP module's registration.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "image/imf_bmp.h"
#include "image/imf_fileio.h"
#include "image/imf_ops.h"

namespace {

// Releases a temporary conversion when the encoder returns.
struct scoped_image {
  imf_image image{};
  ~scoped_image() { imf_release_pixels(&image); }
};

uint32_t rounded_density(const imf_image* image, double density) {
  if (image->density_unit != 2 || !(density > 0) || density > 4e9) return 0;
  return static_cast<uint32_t>(std::lround(density));
}

}  // namespace

int dib_encode(imgfilter* context, imf_image* image, unsigned char** block, size_t* size, size_t* bits_offset,
               int use_allocator) {
  context->big_endian = 0;
  scoped_image converted;
  const imf_image* source = image;
  int bits;
  int table_entries;
  bool gray_ramp = false;
  image->bpp = imf_bits_per_pixel(image->type);
  switch (image->type) {
    case IMF_GRAY1:
    case IMF_GRAY4:
    case IMF_GRAY8:
      bits = image->bpp;
      table_entries = 1 << bits;
      gray_ramp = true;
      break;
    case IMF_GRAY2:
    case IMF_PAL2:
      if (!convert_color_type(context, image, &converted.image, IMF_PAL4)) return 0;
      source = &converted.image;
      bits = 4;
      table_entries = source->palette_count;
      break;
    case IMF_GRAY16:
      bits = 8;
      table_entries = 256;
      gray_ramp = true;
      break;
    case IMF_PAL1:
    case IMF_PAL4:
    case IMF_PAL8:
      bits = image->bpp;
      table_entries = image->palette ? image->palette_count : 0;
      break;
    case IMF_RGB24:
      bits = 24;
      table_entries = 0;
      break;
    default: imf_error(context, "dib_encode: color type not supported"); return 0;
  }
  // A palette longer than the pixel depth can address would make an invalid
  // colour table.
  if (bits <= 8 && table_entries > (1 << bits)) table_entries = 1 << bits;
  if (table_entries < 0) table_entries = 0;

  int64_t width = source->width, height = source->height;
  int64_t source_row = imf_row_bytes(source->type, width);
  if (!source->data || width <= 0 || height <= 0 || source_row <= 0 || source->stride < source_row ||
      static_cast<uint64_t>(source->stride) * static_cast<uint64_t>(height) > source->data_size) {
    imf_error(context, "No image to write (read failed?)");
    return 0;
  }
  uint64_t row_size = 4 * ((static_cast<uint64_t>(width) * bits + 31) / 32);
  uint64_t offset = DIB_INFO_HEADER_SIZE + 4 * static_cast<uint64_t>(table_entries);
  uint64_t total = offset + static_cast<uint64_t>(height) * row_size;
  if (total > UINT32_MAX) {
    imf_error(context, "dib_encode: Out of memory");
    return 0;
  }
  unsigned char* out;
  if (use_allocator)
    out = context->malloc_fn ? static_cast<unsigned char*>(context->malloc_fn(context, context->malloc_user, total))
                             : nullptr;
  else
    out = static_cast<unsigned char*>(calloc(1, total));
  if (!out) {
    imf_error(context, "dib_encode: Out of memory");
    return 0;
  }

  imf_put32(context, out + 0, DIB_INFO_HEADER_SIZE);
  imf_put32(context, out + 4, static_cast<uint32_t>(width));
  imf_put32(context, out + 8, static_cast<uint32_t>(height));
  imf_put16(context, out + 12, 1);
  imf_put16(context, out + 14, static_cast<unsigned>(bits));
  imf_put32(context, out + 16, 0);
  imf_put32(context, out + 20, static_cast<uint32_t>(height * row_size));
  imf_put32(context, out + 24, rounded_density(source, source->x_density));
  imf_put32(context, out + 28, rounded_density(source, source->y_density));
  imf_put32(context, out + 32, static_cast<uint32_t>(table_entries));
  imf_put32(context, out + 36, 0);

  unsigned char* table = out + DIB_INFO_HEADER_SIZE;
  for (int i = 0; i < table_entries; ++i) {
    unsigned char* entry = table + 4 * i;
    if (gray_ramp) {
      auto level = static_cast<unsigned char>(grey_level(i, bits));
      entry[0] = entry[1] = entry[2] = level;
    } else {
      const imf_color& c = source->palette[i];
      entry[0] = c.blue, entry[1] = c.green, entry[2] = c.red;
    }
  }

  unsigned char* pixels = out + offset;
  for (int64_t r = 0; r < height; ++r) {
    const unsigned char* in = source->data + static_cast<size_t>(r) * source->stride;
    unsigned char* row = pixels + static_cast<size_t>(height - 1 - r) * row_size;
    if (source->type == IMF_RGB24) {
      for (int64_t x = 0; x < width; ++x) {
        row[3 * x] = in[3 * x + 2];
        row[3 * x + 1] = in[3 * x + 1];
        row[3 * x + 2] = in[3 * x];
      }
    } else if (source->type == IMF_GRAY16) {
      for (int64_t x = 0; x < width; ++x) {
        uint16_t sample;
        memcpy(&sample, in + 2 * x, 2);
        row[x] = static_cast<unsigned char>(sample >> 8);
      }
    } else {
      memcpy(row, in, static_cast<size_t>(source_row));
    }
  }
  *block = out;
  if (size) *size = total;
  if (bits_offset) *bits_offset = offset;
  return 1;
}

int imf_bmp_encode(imgfilter* context, imf_image* image) {
  if (context->output_iotype != IMF_IO_STREAM || !context->output_stream) {
    imf_error(context, "dib_encode: unsupported output type");
    return 0;
  }
  unsigned char* dib = nullptr;
  size_t size = 0, offset = 0;
  if (!dib_encode(context, image, &dib, &size, &offset, 0)) return 0;
  unsigned char header[BMP_FILE_HEADER_SIZE] = {'B', 'M'};
  imf_put32(context, header + 2, static_cast<uint32_t>(size + BMP_FILE_HEADER_SIZE));
  imf_put32(context, header + 10, static_cast<uint32_t>(offset + BMP_FILE_HEADER_SIZE));
  bool written = fwrite(header, 1, sizeof header, context->output_stream) == sizeof header &&
                 fwrite(dib, 1, size, context->output_stream) == size;
  free(dib);
  if (!written) {
    imf_error_code(context, IMF_ERR_WRITE_OUTPUT, "Can't write output file");
    return 0;
  }
  return 1;
}

int write_memory_dib(imgfilter* context, imf_image* image) {
  if (!image) image = context->image;
  if (!context->malloc_fn) {
    imf_error(context, "Must set malloc callback function");
    return 0;
  }
  if (!context->output_memory) {
    imf_error(context, "dib_encode: unsupported output type");
    return 0;
  }
  if (!image) {
    imf_error(context, "No image to write (read failed?)");
    return 0;
  }
  unsigned char* block = nullptr;
  size_t size = 0, offset = 0;
  if (!dib_encode(context, image, &block, &size, &offset, 1)) return 0;
  *context->output_memory = block;
  if (context->output_memory_size) *context->output_memory_size = size;
  if (context->output_bits_offset) *context->output_bits_offset = offset;
  if (context->output_bits) *context->output_bits = block + offset;
  return 1;
}

int imf_module_bmp(imgfilter* context, void*) {
  context->decoders[IMF_FMT_BMP] = imf_bmp_decode;
  context->encoders[IMF_FMT_BMP] = imf_bmp_encode;
  context->decoders[IMF_FMT_DIB] = imf_dib_decode_memory;
  context->encoders[IMF_FMT_DIB] = write_memory_dib;
  return 1;
}
