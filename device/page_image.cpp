// Page images; see page_image.h.
#include "device/page_image.h"

#include <cstring>

void rgb_to_565(uint8_t red, uint8_t green, uint8_t blue, uint8_t out[2]) {
  out[0] = static_cast<uint8_t>((red & 0xF8) | (green >> 5));
  out[1] = static_cast<uint8_t>(((green << 3) & 0xE0) | (blue >> 3));
}

void rgb_from_565(const uint8_t in[2], uint8_t* red, uint8_t* green, uint8_t* blue) {
  const unsigned r5 = in[0] >> 3;
  const unsigned g6 = ((in[0] & 0x07u) << 3) | (in[1] >> 5);
  const unsigned b5 = in[1] & 0x1Fu;
  *red = static_cast<uint8_t>((r5 << 3) | (r5 >> 2));
  *green = static_cast<uint8_t>((g6 << 2) | (g6 >> 4));
  *blue = static_cast<uint8_t>((b5 << 3) | (b5 >> 2));
}

void page_image_from_bitmap(const unsigned char* bitmap, unsigned char* image) {
  unsigned char* out = image;
  for (int y = DEVICE_PAGE_HEIGHT - 1; y >= 0; --y) {
    const unsigned char* pixel = bitmap + size_t{DEVICE_BITMAP_STRIDE} * y;
    for (int x = 0; x < DEVICE_PAGE_WIDTH; ++x, pixel += 4, out += 2) rgb_to_565(pixel[2], pixel[1], pixel[0], out);
  }
  *out = 0;
}

void bitmap_from_page_image(const unsigned char* image, unsigned char* bitmap) {
  const unsigned char* in = image;
  for (int y = DEVICE_PAGE_HEIGHT - 1; y >= 0; --y) {
    unsigned char* pixel = bitmap + size_t{DEVICE_BITMAP_STRIDE} * y;
    for (int x = 0; x < DEVICE_PAGE_WIDTH; ++x, pixel += 4, in += 2) {
      rgb_from_565(in, &pixel[2], &pixel[1], &pixel[0]);
      pixel[3] = 0;
    }
  }
}
