// Image operations: gray-ramp palette reduction, colour conversions and
// record copies.
#include <cstring>

#include "image/imf_ops.h"
#include "image_fixtures.h"

namespace {

class OpsTest : public ::testing::Test {
 protected:
  void SetUp() override { context_.reset(imf_create(IMF_VERSION)); }
  void TearDown() override {
    imf_release_pixels(&image_);
    imf_release_pixels(&out_);
  }
  void make(int type, int width, int height) {
    image_.type = type;
    image_.width = width;
    image_.height = height;
    ASSERT_EQ(imf_alloc_pixels(context_.get(), &image_, "oom"), 1);
  }
  void palette(std::initializer_list<int> levels) {
    ASSERT_EQ(imf_alloc_palette(&image_), 1);
    int i = 0;
    for (int level : levels) {
      auto v = static_cast<unsigned char>(level);
      image_.palette[i++] = {v, v, v, 0};
    }
    image_.palette_count = i;
  }
  std::string error() const { return context_->error_text; }

  imf_context_ptr context_;
  imf_image image_{};
  imf_image out_{};
};

TEST_F(OpsTest, RisingEightBitRampBecomesGrayWithSamePixels) {
  make(IMF_PAL8, 4, 1);
  ASSERT_EQ(imf_alloc_palette(&image_), 1);
  for (int i = 0; i < 256; ++i)
    image_.palette[i] = {static_cast<unsigned char>(i), static_cast<unsigned char>(i), static_cast<unsigned char>(i),
                         0};
  image_.palette_count = 256;
  const unsigned char pixels[] = {0, 7, 128, 255};
  memcpy(image_.data, pixels, 4);
  ASSERT_EQ(optimize_image(context_.get(), &image_), 1);
  EXPECT_EQ(image_.type, IMF_GRAY8);
  EXPECT_EQ(image_.orig_type, IMF_PAL8);
  EXPECT_EQ(image_.palette, nullptr);
  EXPECT_EQ(image_.palette_count, 0);
  EXPECT_EQ(memcmp(image_.data, pixels, 4), 0);
}

TEST_F(OpsTest, FallingRampInvertsAndOtherPalettesStay) {
  make(IMF_PAL1, 8, 1);
  palette({255, 0});
  image_.data[0] = 0xF0;
  ASSERT_EQ(optimize_image(context_.get(), &image_), 1);
  EXPECT_EQ(image_.type, IMF_GRAY1);
  EXPECT_EQ(image_.data[0], 0x0F);

  imf_release_pixels(&image_);
  image_ = {};
  make(IMF_PAL4, 2, 1);
  palette({0, 17, 34, 60});
  ASSERT_EQ(optimize_image(context_.get(), &image_), 1);
  EXPECT_EQ(image_.type, IMF_PAL4);
  EXPECT_EQ(image_.palette_count, 4);

  // A coloured entry ends the walk.
  imf_release_pixels(&image_);
  image_ = {};
  make(IMF_PAL1, 1, 1);
  palette({0, 255});
  image_.palette[1].blue = 0;
  ASSERT_EQ(optimize_image(context_.get(), &image_), 1);
  EXPECT_EQ(image_.type, IMF_PAL1);
}

TEST_F(OpsTest, GrayTwoBitToPaletteFourBitKeepsIndices) {
  make(IMF_GRAY2, 5, 1);
  image_.data[0] = 0x1B;  // 0 1 2 3
  image_.data[1] = 0x80;  // 2
  ASSERT_EQ(convert_color_type(context_.get(), &image_, &out_, IMF_PAL4), 1) << error();
  EXPECT_EQ(out_.type, IMF_PAL4);
  EXPECT_EQ(out_.bpp, 4);
  EXPECT_EQ(out_.stride, 3);
  EXPECT_EQ(out_.palette_count, 4);
  EXPECT_EQ(out_.palette[1].red, 85);
  EXPECT_EQ(out_.palette[2].green, 170);
  EXPECT_EQ(out_.palette[3].blue, 255);
  EXPECT_EQ(out_.data[0], 0x01);
  EXPECT_EQ(out_.data[1], 0x23);
  EXPECT_EQ(out_.data[2], 0x20);
  EXPECT_EQ(image_.type, IMF_GRAY2);
}

TEST_F(OpsTest, ConversionsToGrayAndRgb) {
  make(IMF_PAL8, 2, 1);
  ASSERT_EQ(imf_alloc_palette(&image_), 1);
  image_.palette[0] = {255, 0, 0, 0};
  image_.palette[1] = {10, 20, 30, 0};
  image_.palette_count = 2;
  image_.data[1] = 1;
  ASSERT_EQ(convert_color_type(context_.get(), &image_, &out_, IMF_GRAY8), 1);
  EXPECT_EQ(out_.data[0], (307 * 255) >> 10);
  EXPECT_EQ(out_.data[1], (307 * 10 + 602 * 20 + 115 * 30) >> 10);
  EXPECT_EQ(out_.min_value, 0);
  EXPECT_EQ(out_.max_value, 255);
  ASSERT_EQ(convert_color_type(context_.get(), &image_, &out_, IMF_RGB24), 1);
  EXPECT_EQ((std::vector<unsigned char>(out_.data, out_.data + 6)),
            (std::vector<unsigned char>{255, 0, 0, 10, 20, 30}));

  // In place: a 1-bit gray image scales to 0/255.
  imf_release_pixels(&image_);
  image_ = {};
  make(IMF_GRAY1, 3, 1);
  image_.data[0] = 0xA0;
  ASSERT_EQ(convert_color_type(context_.get(), &image_, nullptr, IMF_RGB24), 1);
  EXPECT_EQ(image_.type, IMF_RGB24);
  EXPECT_EQ(image_.stride, 9);
  EXPECT_EQ((std::vector<unsigned char>(image_.data, image_.data + 9)),
            (std::vector<unsigned char>{255, 255, 255, 0, 0, 0, 255, 255, 255}));
}

TEST_F(OpsTest, UnsupportedConversionLeavesTheSource) {
  make(IMF_RGB24, 2, 2);
  image_.data[0] = 9;
  ASSERT_EQ(convert_color_type(context_.get(), &image_, nullptr, IMF_PAL4), 0);
  EXPECT_EQ(error(), "Color conversion not supported");
  EXPECT_EQ(image_.type, IMF_RGB24);
  EXPECT_EQ(image_.data[0], 9);
  EXPECT_EQ(convert_color_type(context_.get(), nullptr, nullptr, IMF_GRAY8), 0);
}

TEST_F(OpsTest, CopyIsDeepAndPalettesAreGrayLevels) {
  make(IMF_PAL2, 4, 2);
  ASSERT_EQ(make_grey_palette(&image_, 2), 1);
  EXPECT_EQ(image_.palette_count, 4);
  EXPECT_EQ(image_.palette[2].red, 170);
  EXPECT_EQ(make_grey_palette(&image_, 9), 0);
  image_.data[1] = 0x55;
  ASSERT_EQ(convert_color_type(context_.get(), &image_, &out_, IMF_PAL2), 1);
  EXPECT_NE(out_.data, image_.data);
  EXPECT_NE(out_.palette, image_.palette);
  EXPECT_EQ(out_.data[1], 0x55);
  EXPECT_EQ(out_.palette[3].red, 255);
  EXPECT_EQ(grey_level(1, 1), 255);
  EXPECT_EQ(grey_level(3, 4), 51);
}

}  // namespace
