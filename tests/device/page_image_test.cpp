// Page images: the 5-6-5 pixel bytes, the bottom-up row order and the
// decoding that the flash tool relies on.
#include <gtest/gtest.h>

#include <vector>

#include "device/page_image.h"

namespace {

TEST(PageImage, PrimaryColoursAndWhite) {
  struct Case {
    uint8_t r, g, b, first, second;
  } cases[] = {
      {255, 0, 0, 0xF8, 0x00},
      {0, 255, 0, 0x07, 0xE0},
      {0, 0, 255, 0x00, 0x1F},
      {255, 255, 255, 0xFF, 0xFF},
      {0, 0, 0, 0x00, 0x00},
      // Low bits are dropped, not rounded.
      {0x07, 0x03, 0x07, 0x00, 0x00},
  };
  for (const Case& c : cases) {
    uint8_t out[2];
    rgb_to_565(c.r, c.g, c.b, out);
    EXPECT_EQ(out[0], c.first) << int(c.r) << "," << int(c.g) << "," << int(c.b);
    EXPECT_EQ(out[1], c.second) << int(c.r) << "," << int(c.g) << "," << int(c.b);
  }
}

TEST(PageImage, DecodingKeepsTheExtremesAndTheStoredBits) {
  for (unsigned value = 0; value < 0x10000; value += 0x0101) {
    const uint8_t stored[2] = {uint8_t(value >> 8), uint8_t(value)};
    uint8_t r, g, b, again[2];
    rgb_from_565(stored, &r, &g, &b);
    rgb_to_565(r, g, b, again);
    EXPECT_EQ(again[0], stored[0]);
    EXPECT_EQ(again[1], stored[1]);
  }
  const uint8_t white[2] = {0xFF, 0xFF};
  uint8_t r, g, b;
  rgb_from_565(white, &r, &g, &b);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(g, 255);
  EXPECT_EQ(b, 255);
}

TEST(PageImage, RowsGoBottomUpAndEndWithAZeroByte) {
  std::vector<unsigned char> bitmap(DEVICE_BITMAP_SIZE, 0xFF);  // white
  // Top-left pixel red, bottom-left pixel blue, bottom-right pixel green.
  auto set = [&](int x, int y, uint8_t r, uint8_t g, uint8_t b) {
    unsigned char* p = &bitmap[size_t(y) * DEVICE_BITMAP_STRIDE + size_t(x) * 4];
    p[0] = b;
    p[1] = g;
    p[2] = r;
  };
  set(0, 0, 255, 0, 0);
  set(0, DEVICE_PAGE_HEIGHT - 1, 0, 0, 255);
  set(DEVICE_PAGE_WIDTH - 1, DEVICE_PAGE_HEIGHT - 1, 0, 255, 0);

  std::vector<unsigned char> image(DEVICE_PAGE_IMAGE_SIZE, 0xAA);
  page_image_from_bitmap(bitmap.data(), image.data());
  EXPECT_EQ(image[0], 0x00);  // bottom row first: blue
  EXPECT_EQ(image[1], 0x1F);
  EXPECT_EQ(image[2 * (DEVICE_PAGE_WIDTH - 1)], 0x07);  // then green at its end
  EXPECT_EQ(image[2 * (DEVICE_PAGE_WIDTH - 1) + 1], 0xE0);
  const size_t top_row = size_t{2} * DEVICE_PAGE_WIDTH * (DEVICE_PAGE_HEIGHT - 1);
  EXPECT_EQ(image[top_row], 0xF8);  // the top row comes last: red
  EXPECT_EQ(image[top_row + 1], 0x00);
  EXPECT_EQ(image[top_row + 2], 0xFF);
  EXPECT_EQ(image[DEVICE_PAGE_IMAGE_SIZE - 1], 0x00);

  std::vector<unsigned char> back(DEVICE_BITMAP_SIZE, 0x55);
  bitmap_from_page_image(image.data(), back.data());
  EXPECT_EQ(back[0], 0);  // top-left: red, unused byte zero
  EXPECT_EQ(back[1], 0);
  EXPECT_EQ(back[2], 255);
  EXPECT_EQ(back[3], 0);
  EXPECT_EQ(back[4], 255);  // its neighbour stays white
}

}  // namespace
