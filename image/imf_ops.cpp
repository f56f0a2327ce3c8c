// Operations on image records: gray-ramp palette reduction, colour type
// conversion, record copies and gray palettes.
#include "image/imf_ops.h"

#include <cstdlib>
#include <cstring>

namespace {

// Sample x of a row packed from the most significant bit.
unsigned packed_sample(const unsigned char* row, int x, int bits) {
  switch (bits) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case 2: return (row[x >> 2] >> (6 - 2 * (x & 3))) & 3u;
    case 4: return (row[x >> 1] >> (4 - 4 * (x & 1))) & 15u;
    default: return row[x];
  }
}

unsigned luminance(unsigned red, unsigned green, unsigned blue) {
  return (307 * red + 602 * green + 115 * blue) >> 10;
}

// Gray value of a gray sample scaled to 8 bits.
unsigned gray8(const unsigned char* row, int x, int type) {
  switch (type) {
    case IMF_GRAY1: return packed_sample(row, x, 1) ? 255 : 0;
    case IMF_GRAY2: return packed_sample(row, x, 2) * 85;
    case IMF_GRAY4: return packed_sample(row, x, 4) * 17;
    case IMF_GRAY16:
    case IMF_GRAYW16: {
      uint16_t sample;
      memcpy(&sample, row + 2 * x, 2);
      return sample >> 8;
    }
    default: return row[x];
  }
}

const imf_color kBlack = {0, 0, 0, 0};

const imf_color& palette_entry(const imf_image* image, unsigned index) {
  // Palettes always hold IMF_PALETTE_SIZE entries, so any 8-bit index is safe.
  if (!image->palette || index >= static_cast<unsigned>(IMF_PALETTE_SIZE)) return kBlack;
  return image->palette[index];
}

bool is_gray_type(int type) {
  return (type >= IMF_GRAY1 && type <= IMF_GRAY16) || type == IMF_GRAYW8 || type == IMF_GRAYW16;
}

// Header of source with the target type and freshly allocated rows.
int start_result(imgfilter* context, const imf_image* source, imf_image* result, int type) {
  *result = *source;
  result->data = nullptr;
  result->data_size = 0;
  result->palette = nullptr;
  result->palette_count = 0;
  result->type = type;
  return imf_alloc_pixels(context, result, "Out of memory");
}

int convert_pixels(const imf_image* source, imf_image* result) {
  int type = result->type;
  for (int y = 0; y < source->height; ++y) {
    const unsigned char* in = source->data + static_cast<size_t>(y) * source->stride;
    unsigned char* out = result->data + static_cast<size_t>(y) * result->stride;
    for (int x = 0; x < source->width; ++x) {
      unsigned red, green, blue;
      if (source->type == IMF_RGB24) {
        red = in[3 * x], green = in[3 * x + 1], blue = in[3 * x + 2];
      } else if (imf_is_palette_type(source->type)) {
        const imf_color& c = palette_entry(source, packed_sample(in, x, source->bpp));
        red = c.red, green = c.green, blue = c.blue;
      } else {
        red = green = blue = gray8(in, x, source->type);
      }
      if (type == IMF_GRAY8) {
        out[x] = static_cast<unsigned char>(luminance(red, green, blue));
      } else if (type == IMF_RGB24) {
        out[3 * x] = static_cast<unsigned char>(red);
        out[3 * x + 1] = static_cast<unsigned char>(green);
        out[3 * x + 2] = static_cast<unsigned char>(blue);
      } else {  // IMF_PAL4 from 1- or 2-bit indices
        unsigned index = packed_sample(in, x, source->bpp);
        out[x >> 1] |= static_cast<unsigned char>(index << ((x & 1) ? 0 : 4));
      }
    }
  }
  return 1;
}

bool conversion_supported(int from, int to) {
  if (to == IMF_GRAY8 || to == IMF_RGB24) return is_gray_type(from) || imf_is_palette_type(from) || from == IMF_RGB24;
  if (to == IMF_PAL4) return from == IMF_GRAY1 || from == IMF_GRAY2 || from == IMF_PAL1 || from == IMF_PAL2;
  return false;
}

}  // namespace

int grey_level(int i, int bits) {
  return i * (255 / ((1 << bits) - 1));
}

int make_grey_palette(imf_image* image, int bits) {
  if (bits < 1 || bits > 8) return 0;
  if (!image->palette && !imf_alloc_palette(image)) return 0;
  int count = 1 << bits;
  for (int i = 0; i < count; ++i) {
    auto level = static_cast<unsigned char>(grey_level(i, bits));
    image->palette[i] = {level, level, level, 0};
  }
  image->palette_count = count;
  return 1;
}

int optimize_image(imgfilter* context, imf_image* image) {
  if (!image) image = context->image;
  if (!image) return 0;
  if (image->orig_type == 0) image->orig_type = image->type;
  if (!imf_is_palette_type(image->type)) return 1;
  int bits = imf_bits_per_pixel(image->type);
  bool ascending = true, descending = true;
  int count = image->palette ? image->palette_count : 0;
  if (count > IMF_PALETTE_SIZE) count = IMF_PALETTE_SIZE;
  for (int i = 0; i < count && (ascending || descending); ++i) {
    const imf_color& c = image->palette[i];
    if (c.red != c.green || c.red != c.blue) return 1;
    ascending = ascending && c.red == grey_level(i, bits);
    descending = descending && c.red == 255 - grey_level(i, bits);
  }
  if (!ascending && !descending) return 1;
  bool invert = !ascending;
  int gray_type;
  switch (bits) {
    case 1: gray_type = IMF_GRAY1; break;
    case 2: gray_type = IMF_GRAY2; break;
    case 4: gray_type = IMF_GRAY4; break;
    case 8: gray_type = IMF_GRAY8; break;
    default: imf_error(context, "optimize_image: internal error"); return 0;
  }
  free(image->palette);
  image->palette = nullptr;
  image->palette_count = 0;
  image->type = gray_type;
  if (invert && image->data)
    for (uint32_t i = 0; i < image->data_size; ++i) image->data[i] = static_cast<unsigned char>(~image->data[i]);
  return 1;
}

int copy_image(imgfilter* context, const imf_image* image, imf_image* out) {
  if (!image || !out) return 0;
  if (image == out) return 1;
  imf_release_pixels(out);
  *out = *image;
  out->data = nullptr;
  out->data_size = 0;
  out->palette = nullptr;
  out->palette_count = 0;
  if (image->data && image->data_size) {
    out->data = static_cast<unsigned char*>(malloc(image->data_size));
    if (!out->data) {
      imf_error(context, "Out of memory");
      return 0;
    }
    memcpy(out->data, image->data, image->data_size);
    out->data_size = image->data_size;
  }
  if (image->palette && image->palette_count > 0) {
    if (!imf_alloc_palette(out)) {
      imf_error(context, "Out of memory");
      return 0;
    }
    memcpy(out->palette, image->palette, sizeof(imf_color) * IMF_PALETTE_SIZE);
    out->palette_count = image->palette_count;
  }
  return 1;
}

int convert_color_type(imgfilter* context, imf_image* image, imf_image* out, int target_type) {
  if (!image) return 0;
  if (target_type == image->type) return out ? copy_image(context, image, out) : 1;
  if (!conversion_supported(image->type, target_type) || !image->data) {
    imf_error(context, "Color conversion not supported");
    return 0;
  }
  image->bpp = imf_bits_per_pixel(image->type);
  imf_image result{};
  if (!start_result(context, image, &result, target_type)) {
    imf_release_pixels(&result);
    return 0;
  }
  if (target_type == IMF_PAL4) {
    bool copied = false;
    if (imf_is_palette_type(image->type) && image->palette && imf_alloc_palette(&result)) {
      memcpy(result.palette, image->palette, sizeof(imf_color) * IMF_PALETTE_SIZE);
      result.palette_count = image->palette_count;
      copied = true;
    } else if (!imf_is_palette_type(image->type)) {
      copied = make_grey_palette(&result, image->bpp) != 0;
    }
    if (!copied) {
      imf_release_pixels(&result);
      imf_error(context, "Out of memory");
      return 0;
    }
  }
  convert_pixels(image, &result);
  if (target_type == IMF_GRAY8) {
    result.min_value = 0;
    result.max_value = 255;
  }
  result.bpp = imf_bits_per_pixel(target_type);
  imf_image* destination = out ? out : image;
  imf_release_pixels(destination);
  *destination = result;
  return 1;
}
