// Image records: creation and release, bits per pixel of the colour types,
// and the guarded allocation of pixel rows and palettes.
#include <cstdlib>

#include "image/imgfilter.h"

imf_image* imf_new_image() {
  return static_cast<imf_image*>(calloc(1, sizeof(imf_image)));
}

void imf_release_pixels(imf_image* image) {
  if (!image) return;
  free(image->data);
  free(image->palette);
  image->data = nullptr;
  image->data_size = 0;
  image->palette = nullptr;
  image->palette_count = 0;
}

void imf_free_image(imf_image* image) {
  if (!image) return;
  imf_release_pixels(image);
  free(image);
}

int imf_bits_per_pixel(int type) {
  switch (type) {
    case IMF_GRAY1:
    case IMF_PAL1: return 1;
    case IMF_GRAY2:
    case IMF_PAL2: return 2;
    case IMF_GRAY4:
    case IMF_PAL4: return 4;
    case IMF_GRAY8:
    case IMF_PAL8:
    case IMF_GRAYW8: return 8;
    case IMF_GRAY16:
    case IMF_GRAYW16: return 16;
    case IMF_RGB24: return 24;
    default: return 0;
  }
}

int imf_is_palette_type(int type) {
  return type >= IMF_PAL8 && type <= IMF_PAL4;
}

int64_t imf_row_bytes(int type, int64_t width) {
  int bpp = imf_bits_per_pixel(type);
  if (bpp == 0 || width < 0 || width > INT32_MAX) return -1;
  return (width * bpp + 7) / 8;
}

int imf_alloc_pixels(imgfilter* context, imf_image* image, const char* out_of_memory_text) {
  image->bpp = imf_bits_per_pixel(image->type);
  int64_t stride = imf_row_bytes(image->type, image->width);
  // Checked in 64 bits before anything is allocated: a header may claim any
  // size, and stride * height must fit the 32-bit data_size.
  if (stride <= 0 || image->height <= 0 || stride > INT32_MAX ||
      static_cast<uint64_t>(stride) * static_cast<uint64_t>(image->height) > IMF_MAX_PIXEL_BYTES) {
    imf_error(context, "%s", out_of_memory_text);
    return 0;
  }
  size_t size = static_cast<size_t>(stride) * static_cast<size_t>(image->height);
  free(image->data);
  image->data = static_cast<unsigned char*>(calloc(1, size));
  image->data_size = 0;
  image->stride = static_cast<int32_t>(stride);
  if (!image->data) {
    imf_error(context, "%s", out_of_memory_text);
    return 0;
  }
  image->data_size = static_cast<uint32_t>(size);
  return 1;
}

int imf_alloc_palette(imf_image* image) {
  free(image->palette);
  image->palette = static_cast<imf_color*>(calloc(IMF_PALETTE_SIZE, sizeof(imf_color)));
  return image->palette != nullptr;
}
