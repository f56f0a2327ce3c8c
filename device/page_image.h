// The device's page image: a 160 x 128 page in 16-bit 5-6-5 colour, rows
// from the bottom of the picture up, and its conversion from and back to the
// 32-bit page bitmap the transfer draws on.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int DEVICE_PAGE_WIDTH = 160;
inline constexpr int DEVICE_PAGE_HEIGHT = 128;
// The page bitmap: four bytes a pixel (blue, green, red, unused), rows top
// first, no padding.
inline constexpr int DEVICE_BITMAP_STRIDE = DEVICE_PAGE_WIDTH * 4;
inline constexpr size_t DEVICE_BITMAP_SIZE = size_t{DEVICE_BITMAP_STRIDE} * DEVICE_PAGE_HEIGHT;
// Two bytes a pixel and one zero byte at the end.
inline constexpr size_t DEVICE_PAGE_IMAGE_SIZE = size_t{DEVICE_PAGE_WIDTH} * DEVICE_PAGE_HEIGHT * 2 + 1;

// One pixel as the two bytes the device stores, most significant first.
void rgb_to_565(uint8_t red, uint8_t green, uint8_t blue, uint8_t out[2]);
// The 8-bit colour of a stored pixel; the low bits repeat the high ones so
// that white stays white.
void rgb_from_565(const uint8_t in[2], uint8_t* red, uint8_t* green, uint8_t* blue);

// Fills image (DEVICE_PAGE_IMAGE_SIZE bytes) from a page bitmap
// (DEVICE_BITMAP_SIZE bytes).
void page_image_from_bitmap(const unsigned char* bitmap, unsigned char* image);
// The reverse: a page bitmap (unused bytes zero) from a page image.
void bitmap_from_page_image(const unsigned char* image, unsigned char* bitmap);
