// PNG encoding over libpng: gray, palette and RGB images at their own depth,
// with gamma and sRGB chunks. Kept free of C++ objects with destructors
// because libpng reports errors by longjmp.
#include <png.h>

#include <csetjmp>
#include <cstdlib>

#include "image/imf_png.h"
#include "image/imf_png_support.h"

namespace {

// PNG colour type and depth for an image type; false when it has none.
bool png_layout(int type, int* color_type, int* depth) {
  switch (type) {
    case IMF_GRAY1: *color_type = PNG_COLOR_TYPE_GRAY, *depth = 1; return true;
    case IMF_GRAY2: *color_type = PNG_COLOR_TYPE_GRAY, *depth = 2; return true;
    case IMF_GRAY4: *color_type = PNG_COLOR_TYPE_GRAY, *depth = 4; return true;
    case IMF_GRAY8: *color_type = PNG_COLOR_TYPE_GRAY, *depth = 8; return true;
    case IMF_GRAY16: *color_type = PNG_COLOR_TYPE_GRAY, *depth = 16; return true;
    case IMF_PAL1: *color_type = PNG_COLOR_TYPE_PALETTE, *depth = 1; return true;
    case IMF_PAL2: *color_type = PNG_COLOR_TYPE_PALETTE, *depth = 2; return true;
    case IMF_PAL4: *color_type = PNG_COLOR_TYPE_PALETTE, *depth = 4; return true;
    case IMF_PAL8: *color_type = PNG_COLOR_TYPE_PALETTE, *depth = 8; return true;
    case IMF_RGB24: *color_type = PNG_COLOR_TYPE_RGB, *depth = 8; return true;
    default: return false;
  }
}

// The libpng part of png_encode; nothing here outlives a longjmp.
int write_png(imgfilter* context, imf_image* image, FILE* stream, int color_type, int depth) {
  imf_png_target target{context, "png_encode"};
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &target, imf_png_error, imf_png_warning);
  if (!png) {
    imf_error(context, "Failed to create PNG struct");
    return 0;
  }
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    imf_error(context, "Can't create PNG info_struct");
    return 0;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return 0;
  }
  png_init_io(png, stream);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image->width), static_cast<png_uint_32>(image->height), depth,
               color_type, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (color_type == PNG_COLOR_TYPE_PALETTE) {
    png_color entries[IMF_PALETTE_SIZE];
    int count = image->palette_count;
    if (count > (1 << depth)) count = 1 << depth;
    for (int i = 0; i < count; ++i)
      entries[i] = {image->palette[i].red, image->palette[i].green, image->palette[i].blue};
    png_set_PLTE(png, info, entries, count);
  }
  if (image->density_unit == 2 && image->x_density > 0 && image->y_density > 0 && image->x_density < 4e9 &&
      image->y_density < 4e9)
    png_set_pHYs(png, info, static_cast<png_uint_32>(image->x_density + 0.5),
                 static_cast<png_uint_32>(image->y_density + 0.5), PNG_RESOLUTION_METER);
  if (image->has_gamma && image->gamma > 0) {
    if (image->gamma > 0.454539 && image->gamma < 0.454551) {
      png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
      png_set_gAMA(png, info, image->gamma);
    } else {
      png_set_gAMA(png, info, image->gamma);
    }
  }
  png_write_info(png, info);
  if (depth == 16) png_set_swap(png);  // samples are kept little-endian
  for (int y = 0; y < image->height; ++y) png_write_row(png, image->data + static_cast<size_t>(y) * image->stride);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return 1;
}

}  // namespace

int png_encode(imgfilter* context, imf_image* image) {
  int color_type = 0, depth = 0;
  if (!png_layout(image->type, &color_type, &depth)) {
    imf_error(context, "png_encode: unsupported color type (%d)", image->type);
    return 0;
  }
  if (color_type == PNG_COLOR_TYPE_PALETTE && (!image->palette || image->palette_count <= 0)) {
    imf_error(context, "png_encode: image should have a palette");
    return 0;
  }
  if (image->width < 1 || image->width > 100000 || image->height < 1 || image->height > 100000) {
    imf_error(context, "imgfilter_png: Bad width or height (%dx%d)", image->width, image->height);
    return 0;
  }
  int64_t row_bytes = imf_row_bytes(image->type, image->width);
  if (!image->data || image->stride < row_bytes ||
      static_cast<uint64_t>(image->stride) * static_cast<uint64_t>(image->height) > image->data_size) {
    imf_error(context, "No image to write (read failed?)");
    return 0;
  }

  FILE* stream = nullptr;
  bool own_stream = false;
  if (context->output_iotype == IMF_IO_STREAM) {
    stream = context->output_stream;
  } else if (context->output_iotype == IMF_IO_FILE) {
    stream = context->output_file ? fopen(context->output_file, "wb") : nullptr;
    if (!stream) {
      imf_error(context, "Can't write file");
      return 0;
    }
    own_stream = true;
  }
  if (!stream) {
    imf_error(context, "Output IOTYPE not set");
    return 0;
  }

  int ok = write_png(context, image, stream, color_type, depth);
  if (own_stream && fclose(stream) != 0 && ok) {
    imf_error(context, "Can't write file");
    return 0;
  }
  return ok;
}
