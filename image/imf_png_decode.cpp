// PNG decoding over libpng: colour type mapping, transparency removal,
// depth reduction, density and gamma. libpng reports errors by longjmp, so
// the decoder keeps no C++ objects with destructors alive across it.
#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstdlib>

#include "image/imf_ops.h"
#include "image/imf_png.h"
#include "image/imf_png_support.h"

void imf_png_error(png_structp png, png_const_charp message) {
  auto* target = static_cast<imf_png_target*>(png_get_error_ptr(png));
  imf_error(target->context, "%s: libpng: %s", target->who, message);
  png_longjmp(png, 1);
}

void imf_png_warning(png_structp png, png_const_charp message) {
  auto* target = static_cast<imf_png_target*>(png_get_error_ptr(png));
  imf_warning(target->context, IMF_PNG_WARNING_LEVEL, "libpng: %s", message);
}

namespace {

constexpr png_alloc_size_t kMaxChunkBytes = 8u << 20;
// libpng never buffers a whole image (the rows are ours), so a larger
// request can only come from a damaged chunk length.
constexpr png_alloc_size_t kMaxLibpngAllocation = 64u << 20;

png_voidp bounded_malloc(png_structp, png_alloc_size_t size) {
  return size > kMaxLibpngAllocation ? nullptr : malloc(size);
}

void bounded_free(png_structp, png_voidp block) {
  free(block);
}

int channels_of(int color_type) {
  switch (color_type) {
    case PNG_COLOR_TYPE_GRAY: return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    case PNG_COLOR_TYPE_PALETTE: return 1;
    default: return 0;
  }
}

// Colour type of the rows libpng delivers after the transformations.
int output_type(int color_type, int depth) {
  if (color_type == PNG_COLOR_TYPE_GRAY) {
    switch (depth) {
      case 1: return IMF_GRAY1;
      case 2: return IMF_GRAY2;
      case 4: return IMF_GRAY4;
      case 8: return IMF_GRAY8;
      case 16: return IMF_GRAY16;
    }
  } else if (color_type == PNG_COLOR_TYPE_PALETTE) {
    switch (depth) {
      case 1: return IMF_PAL1;
      case 2: return IMF_PAL2;
      case 4: return IMF_PAL4;
      case 8: return IMF_PAL8;
    }
  } else if (color_type == PNG_COLOR_TYPE_RGB && depth == 8) {
    return IMF_RGB24;
  }
  return 0;
}

// Asks libpng for the transformations that leave gray, palette or 8-bit RGB
// rows without alpha.
void request_transformations(imgfilter* context, png_structp png, png_infop info, int color_type, int depth) {
  if (depth == 16) {
    if (color_type == PNG_COLOR_TYPE_GRAY || color_type == PNG_COLOR_TYPE_GRAY_ALPHA) {
      if (context->gray_depth > 0 && context->gray_depth <= 8)
        png_set_strip_16(png);
      else
        png_set_swap(png);  // little-endian samples
    } else {
      png_set_strip_16(png);
    }
  }
  bool transparent = png_get_valid(png, info, PNG_INFO_tRNS) || (color_type & PNG_COLOR_MASK_ALPHA);
  if (!transparent) return;
  png_color_16p file_background = nullptr;
  if (png_get_bKGD(png, info, &file_background)) {
    png_set_background(png, file_background, PNG_BACKGROUND_GAMMA_FILE, 1, 1.0);
  } else if (color_type == PNG_COLOR_TYPE_RGB || color_type == PNG_COLOR_TYPE_RGB_ALPHA) {
    png_color_16 magenta{};
    magenta.red = magenta.blue = depth == 16 ? 65535 : 255;
    png_set_background(png, &magenta, PNG_BACKGROUND_GAMMA_SCREEN, 1, 1.0);
  } else if (color_type == PNG_COLOR_TYPE_GRAY_ALPHA) {
    png_set_strip_alpha(png);
  }
}

}  // namespace

int png_decode(imgfilter* context, imf_image* image) {
  if (context->input_iotype != IMF_IO_STREAM || !context->input_stream) {
    imf_error(context, "png_decode: unsupported iotype (%d)", context->input_iotype);
    return 0;
  }
  imf_png_target target{context, "png_decode"};
  png_structp png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &target, imf_png_error, imf_png_warning, nullptr,
                                             bounded_malloc, bounded_free);
  if (!png) {
    imf_error(context, "Failed to create PNG struct");
    return 0;
  }
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    imf_error(context, "Failed to create PNG struct");
    return 0;
  }
  png_bytep* volatile rows = nullptr;
  if (setjmp(png_jmpbuf(png))) {
    free(rows);
    png_destroy_read_struct(&png, &info, nullptr);
    return 0;
  }
  // A damaged length must not make libpng buffer or inflate gigabytes.
  png_set_chunk_malloc_max(png, kMaxChunkBytes);
  png_init_io(png, context->input_stream);
  png_read_info(png, info);

  png_uint_32 width = 0, height = 0;
  int depth = 0, color_type = 0;
  png_get_IHDR(png, info, &width, &height, &depth, &color_type, nullptr, nullptr, nullptr);
  int channels = channels_of(color_type);
  if (channels == 0) {
    imf_error(context, "png_decode: unknown PNG color type (%d)", color_type);
    png_destroy_read_struct(&png, &info, nullptr);
    return 0;
  }

  png_uint_32 x_res = 0, y_res = 0;
  int unit = 0;
  if (png_get_pHYs(png, info, &x_res, &y_res, &unit)) {
    image->x_density = x_res;
    image->y_density = y_res;
    image->density_unit = unit == PNG_RESOLUTION_METER ? 2 : 1;
  }
  int intent = 0;
  double file_gamma = 0;
  if (png_get_sRGB(png, info, &intent)) {
    image->gamma = 0.45455;
    image->has_gamma = 1;
  } else if (png_get_gAMA(png, info, &file_gamma)) {
    image->gamma = file_gamma;
    image->has_gamma = 1;
  }

  image->orig_type = 0;
  if ((color_type == PNG_COLOR_TYPE_GRAY || color_type == PNG_COLOR_TYPE_GRAY_ALPHA) && depth == 16)
    image->orig_type = IMF_GRAY16;
  image->src_channels = channels;
  image->src_bits = depth * channels;

  request_transformations(context, png, info, color_type, depth);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);

  int out_color = png_get_color_type(png, info);
  image->type = output_type(out_color, png_get_bit_depth(png, info));
  if (image->type == 0) {
    imf_error(context, "png_decode: unknown PNG color type (%d)", out_color);
    png_destroy_read_struct(&png, &info, nullptr);
    return 0;
  }
  image->width = static_cast<int32_t>(width);
  image->height = static_cast<int32_t>(height);
  if (width > INT32_MAX || height > INT32_MAX || !imf_alloc_pixels(context, image, "png_decode: out of memory") ||
      png_get_rowbytes(png, info) > static_cast<size_t>(image->stride)) {
    imf_error(context, "png_decode: out of memory");
    png_destroy_read_struct(&png, &info, nullptr);
    return 0;
  }

  if (imf_is_palette_type(image->type)) {
    png_colorp entries = nullptr;
    int count = 0;
    png_get_PLTE(png, info, &entries, &count);
    if (!imf_alloc_palette(image)) {
      imf_error(context, "png_decode: out of memory");
      png_destroy_read_struct(&png, &info, nullptr);
      return 0;
    }
    if (count > IMF_PALETTE_SIZE) count = IMF_PALETTE_SIZE;
    for (int i = 0; i < count; ++i) image->palette[i] = {entries[i].red, entries[i].green, entries[i].blue, 0};
    image->palette_count = count;
  }

  rows = static_cast<png_bytep*>(malloc(sizeof(png_bytep) * height));
  if (!rows) {
    imf_error(context, "png_decode: out of memory");
    png_destroy_read_struct(&png, &info, nullptr);
    return 0;
  }
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = image->data + static_cast<size_t>(y) * image->stride;
  png_read_image(png, rows);
  png_read_end(png, nullptr);
  free(rows);
  rows = nullptr;
  png_destroy_read_struct(&png, &info, nullptr);
  return optimize_image(context, image);
}

namespace {

void credit_libpng(char* buffer, size_t size) {
  snprintf(buffer, size, "libpng version %s", png_get_libpng_ver(nullptr));
}

void credit_zlib(char* buffer, size_t size) {
  snprintf(buffer, size, "zlib version %s", zlibVersion());
}

}  // namespace

int imf_module_png(imgfilter* context, void*) {
  context->decoders[IMF_FMT_PNG] = png_decode;
  context->encoders[IMF_FMT_PNG] = png_encode;
  context->credits[IMF_FMT_PNG][0] = credit_libpng;
  context->credits[IMF_FMT_PNG][1] = credit_zlib;
  return 1;
}
