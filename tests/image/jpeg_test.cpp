// JPEG decoding through the library: gray range and window, colour output,
// density, unsupported colour spaces and damaged files; the encoder's
// conversions.
#include <cstring>

#include "image/imf_jpeg.h"
#include "image_fixtures.h"

namespace {

using namespace imgtest;

class JpegTest : public ImageTest {
 protected:
  int decode(int width, int height, const jpeg_options& o, const bytes& samples) {
    std::string file = path("t.jpg");
    write_jpeg(file, width, height, o, samples);
    return read(file);
  }
  static jpeg_options gray() {
    jpeg_options o;
    o.space = JCS_GRAYSCALE;
    o.components = 1;
    return o;
  }
};

TEST_F(JpegTest, UniformGrayHasItsValueAsRangeAndAWindow) {
  ASSERT_EQ(decode(16, 8, gray(), bytes(16 * 8, 128)), 1) << error();
  EXPECT_EQ(img()->type, IMF_GRAY8);
  EXPECT_EQ(img()->min_value, 128);
  EXPECT_EQ(img()->max_value, 128);
  EXPECT_TRUE(img()->has_window);
  EXPECT_EQ(img()->window_center, 127.5);
  EXPECT_EQ(img()->window_width, 255);
  EXPECT_EQ(img()->stride, 16);
  EXPECT_EQ(img()->src_bits, 8);
}

TEST_F(JpegTest, ColourDecodesToRgbWithDensity) {
  jpeg_options o;
  o.density_unit = 1;
  o.x_density = o.y_density = 72;
  bytes samples;
  for (int i = 0; i < 8 * 8; ++i) append(samples, {200, 40, 40});
  ASSERT_EQ(decode(8, 8, o, samples), 1) << error();
  EXPECT_EQ(img()->type, IMF_RGB24);
  EXPECT_EQ(img()->stride, 24);
  EXPECT_EQ(img()->min_value, 0);
  EXPECT_EQ(img()->max_value, 255);
  EXPECT_EQ(img()->src_channels, 3);
  EXPECT_EQ(img()->density_unit, 2);
  EXPECT_NEAR(img()->x_density, 2834.64, 1e-9);
  EXPECT_NEAR(img()->data[0], 200, 4);
  EXPECT_NEAR(img()->data[1], 40, 4);

  jpeg_options cm = gray();
  cm.density_unit = 2;
  cm.x_density = 10;
  cm.y_density = 20;
  ASSERT_EQ(decode(8, 8, cm, bytes(64, 0)), 1) << error();
  EXPECT_EQ(img()->x_density, 1000);
  EXPECT_EQ(img()->y_density, 2000);
  jpeg_options aspect = gray();
  aspect.x_density = 2;
  aspect.y_density = 1;
  ASSERT_EQ(decode(8, 8, aspect, bytes(64, 0)), 1) << error();
  EXPECT_EQ(img()->density_unit, 1);
  EXPECT_EQ(img()->x_density, 2);
}

TEST_F(JpegTest, CmykIsRefused) {
  jpeg_options o;
  o.space = JCS_CMYK;
  o.components = 4;
  EXPECT_EQ(decode(8, 8, o, bytes(8 * 8 * 4, 50)), 0);
  EXPECT_EQ(error(), "jpeg_decode: Unsupported color type (4)");
}

TEST_F(JpegTest, DamagedFilesFailWithLibjpegText) {
  EXPECT_EQ(read_bytes("junk.jpg", {0x00, 0x11, 0x22, 0x33}), 0);
  EXPECT_EQ(ctx()->error_code, IMF_ERR_JPEG);
  EXPECT_EQ(error().rfind("jpeg_decode: libjpeg: ", 0), 0u) << error();

  // A frame header claiming 12-bit samples.
  std::string file = path("p.jpg");
  write_jpeg(file, 8, 8, gray(), bytes(64, 1));
  FILE* f = fopen(file.c_str(), "rb");
  bytes data(8192);
  data.resize(fread(data.data(), 1, data.size(), f));
  fclose(f);
  for (size_t i = 0; i + 4 < data.size(); ++i)
    if (data[i] == 0xFF && data[i + 1] == 0xC0) {
      data[i + 4] = 12;
      break;
    }
  EXPECT_EQ(read_bytes("p12.jpg", data), 0);
  EXPECT_EQ(ctx()->error_code, IMF_ERR_JPEG_PRECISION) << error();

  // A frame of 60000 x 60000 colour pixels is refused before decoding.
  write_jpeg(file, 8, 8, jpeg_options{}, bytes(8 * 8 * 3, 1));
  f = fopen(file.c_str(), "rb");
  data.assign(8192, 0);
  data.resize(fread(data.data(), 1, data.size(), f));
  fclose(f);
  for (size_t i = 0; i + 9 < data.size(); ++i)
    if (data[i] == 0xFF && data[i + 1] == 0xC0) {
      data[i + 5] = data[i + 7] = 0xEA;
      data[i + 6] = data[i + 8] = 0x60;
      break;
    }
  EXPECT_EQ(read_bytes("big.jpg", data), 0);
  EXPECT_EQ(error(), "jpeg_decode: Out of memory");
}

TEST_F(JpegTest, EncoderConvertsPaletteAndLowDepthGray) {
  imf_free_image(ctx()->image);
  imf_image* image = ctx()->image = imf_new_image();
  image->type = IMF_PAL1;
  image->width = 8;
  image->height = 8;
  ASSERT_EQ(imf_alloc_pixels(ctx(), image, "oom"), 1);
  imf_alloc_palette(image);
  image->palette[0] = {0, 0, 250, 0};
  image->palette_count = 2;
  image->density_unit = 2;
  image->x_density = image->y_density = 11811;
  std::string out = path("enc.jpg");
  FILE* f = fopen(out.c_str(), "wb");
  imf_set_output_stream(ctx(), f);
  imf_set_output_format(ctx(), IMF_FMT_JPEG);
  ASSERT_EQ(imf_write(ctx()), 1) << error();
  fclose(f);
  EXPECT_EQ(ctx()->image->type, IMF_PAL1);  // converted copy only
  ASSERT_EQ(read(out), 1) << error();
  EXPECT_EQ(img()->type, IMF_RGB24);
  EXPECT_NEAR(img()->data[2], 250, 6);
  EXPECT_NEAR(img()->x_density, 11800, 1e-6);  // 118 per centimetre

  imf_set_output_file(ctx(), out.c_str());
  imf_set_output_format(ctx(), IMF_FMT_JPEG);
  ctx()->output_iotype = IMF_IO_MEMORY;
  EXPECT_EQ(imf_write(ctx()), 0);
  EXPECT_EQ(error(), "jpeg_encode: unsupported output type");
}

}  // namespace
