// PNG decoding through the library: transparency, depth reduction, palette
// reduction, density, gamma and failures; and the encoder's round trip.
#include <cstring>

#include <zlib.h>

#include "image/imf_ops.h"
#include "image/imf_png.h"
#include "image_fixtures.h"

namespace {

using namespace imgtest;

class PngTest : public ImageTest {
 protected:
  int decode(int width, int height, const png_options& o, const std::vector<bytes>& rows) {
    std::string file = path("t.png");
    write_png(file, width, height, o, rows);
    return read(file);
  }
  std::vector<unsigned char> pixels() const { return {img()->data, img()->data + img()->data_size}; }
  const imf_image* img() const { return context_->image; }
};

TEST_F(PngTest, AlphaWithoutBackgroundCompositesOnMagenta) {
  png_options o;
  o.color_type = PNG_COLOR_TYPE_RGB_ALPHA;
  ASSERT_EQ(decode(2, 1, o, {{10, 20, 30, 0, 40, 50, 60, 255}}), 1) << error();
  EXPECT_EQ(img()->type, IMF_RGB24);
  EXPECT_EQ(img()->src_channels, 4);
  EXPECT_EQ(img()->src_bits, 32);
  EXPECT_EQ(pixels(), (std::vector<unsigned char>{255, 0, 255, 40, 50, 60}));

  // A 16-bit RGB image with a transparent colour: magenta too, then 8 bits.
  png_options t;
  t.depth = 16;
  t.has_trans_color = true;
  t.trans_color.red = 0x1234;
  ASSERT_EQ(decode(2, 1, t, {{0x12, 0x34, 0, 0, 0, 0, 0xAB, 0xCD, 0x80, 0, 0x01, 0}}), 1) << error();
  EXPECT_EQ(img()->type, IMF_RGB24);
  EXPECT_EQ(pixels(), (std::vector<unsigned char>{255, 0, 255, 0xAB, 0x80, 0x01}));
}

TEST_F(PngTest, BackgroundChunkIsUsedForCompositing) {
  png_options o;
  o.color_type = PNG_COLOR_TYPE_RGB_ALPHA;
  o.has_background = true;
  o.background.red = 0;
  o.background.green = 200;
  o.background.blue = 0;
  ASSERT_EQ(decode(1, 1, o, {{10, 20, 30, 0}}), 1) << error();
  EXPECT_EQ(pixels(), (std::vector<unsigned char>{0, 200, 0}));

  // A palette image with tRNS and bKGD: the transparent entry takes the
  // background colour.
  png_options p;
  p.color_type = PNG_COLOR_TYPE_PALETTE;
  p.depth = 2;
  p.palette = {{255, 0, 0}, {0, 0, 255}};
  p.trans = {0};
  p.has_background = true;
  p.background.index = 1;
  ASSERT_EQ(decode(3, 1, p, {{0x10}}), 1) << error();
  imf_image rgb{};
  ASSERT_EQ(convert_color_type(ctx(), context_->image, &rgb, IMF_RGB24), 1) << error();
  EXPECT_EQ((std::vector<unsigned char>(rgb.data, rgb.data + rgb.data_size)),
            (std::vector<unsigned char>{0, 0, 255, 0, 0, 255, 0, 0, 255}));
  imf_release_pixels(&rgb);

  // Low-depth gray with a transparent value and a background: the rows
  // must be sized for the depth libpng delivers after compositing.
  png_options g;
  g.color_type = PNG_COLOR_TYPE_GRAY;
  g.depth = 1;
  g.has_trans_color = true;
  g.trans_color.gray = 0;
  g.has_background = true;
  g.background.gray = 1;
  ASSERT_EQ(decode(12, 2, g, {{0xF0, 0x00}, {0x0F, 0xF0}}), 1) << error();
  EXPECT_EQ(img()->type, IMF_GRAY1);
  EXPECT_EQ(img()->stride, 2);
  EXPECT_EQ(pixels(), (bytes{0xFF, 0xF0, 0xFF, 0xF0}));  // black was transparent over white
}

TEST_F(PngTest, GrayAlphaLosesAlphaAndSixteenBitGrayIsLittleEndian) {
  png_options ga;
  ga.color_type = PNG_COLOR_TYPE_GRAY_ALPHA;
  ASSERT_EQ(decode(2, 1, ga, {{77, 0, 99, 255}}), 1) << error();
  EXPECT_EQ(img()->type, IMF_GRAY8);
  EXPECT_EQ(pixels(), (std::vector<unsigned char>{77, 99}));

  png_options g16;
  g16.color_type = PNG_COLOR_TYPE_GRAY;
  g16.depth = 16;
  ASSERT_EQ(decode(2, 1, g16, {{0x12, 0x34, 0xAB, 0xCD}}), 1) << error();
  EXPECT_EQ(img()->type, IMF_GRAY16);
  EXPECT_EQ(img()->orig_type, IMF_GRAY16);
  EXPECT_EQ(img()->stride, 4);
  EXPECT_EQ(pixels(), (std::vector<unsigned char>{0x34, 0x12, 0xCD, 0xAB}));
}

TEST_F(PngTest, GrayRampPalettesReduceToGray) {
  png_options o;
  o.color_type = PNG_COLOR_TYPE_PALETTE;
  o.depth = 2;
  o.palette = {{0, 0, 0}, {85, 85, 85}, {170, 170, 170}, {255, 255, 255}};
  ASSERT_EQ(decode(4, 1, o, {{0x1B}}), 1) << error();
  EXPECT_EQ(img()->type, IMF_GRAY2);
  EXPECT_EQ(img()->orig_type, IMF_PAL2);
  EXPECT_EQ(img()->palette, nullptr);
  EXPECT_EQ(pixels(), (std::vector<unsigned char>{0x1B}));

  std::reverse(o.palette.begin(), o.palette.end());
  ASSERT_EQ(decode(4, 1, o, {{0x1B}}), 1) << error();
  EXPECT_EQ(img()->type, IMF_GRAY2);
  EXPECT_EQ(pixels(), (std::vector<unsigned char>{0xE4}));

  o.palette[1] = {90, 90, 90};
  ASSERT_EQ(decode(4, 1, o, {{0x1B}}), 1) << error();
  EXPECT_EQ(img()->type, IMF_PAL2);
  EXPECT_EQ(img()->palette_count, 4);
  EXPECT_EQ(img()->palette[1].red, 90);
}

TEST_F(PngTest, DensityGammaAndInterlacing) {
  png_options o;
  o.color_type = PNG_COLOR_TYPE_GRAY;
  o.has_phys = true;
  o.x_res = 3780;
  o.y_res = 3000;
  o.gamma = 0.5;
  o.interlace = true;
  std::vector<bytes> rows;
  for (int y = 0; y < 9; ++y) rows.push_back(bytes(9, static_cast<unsigned char>(y * 10)));
  ASSERT_EQ(decode(9, 9, o, rows), 1) << error();
  EXPECT_EQ(img()->density_unit, 2);
  EXPECT_EQ(img()->x_density, 3780);
  EXPECT_EQ(img()->y_density, 3000);
  ASSERT_TRUE(img()->has_gamma);
  EXPECT_NEAR(img()->gamma, 0.5, 1e-5);
  EXPECT_EQ(img()->data[8 * 9 + 4], 80);

  png_options s;
  s.color_type = PNG_COLOR_TYPE_GRAY;
  s.srgb = true;
  s.has_phys = true;
  s.x_res = s.y_res = 2;
  s.phys_unit = PNG_RESOLUTION_UNKNOWN;
  ASSERT_EQ(decode(1, 1, s, {{0}}), 1) << error();
  EXPECT_DOUBLE_EQ(img()->gamma, 0.45455);
  EXPECT_EQ(img()->density_unit, 1);
}

TEST_F(PngTest, CorruptAndHugeFilesFail) {
  std::string file = path("t.png");
  png_options o;
  write_png(file, 16, 16, o, std::vector<bytes>(16, bytes(48, 7)));
  FILE* f = fopen(file.c_str(), "rb");
  bytes data(4096);
  data.resize(fread(data.data(), 1, data.size(), f));
  fclose(f);
  bytes truncated(data.begin(), data.begin() + 60);
  EXPECT_EQ(read_bytes("cut.png", truncated), 0);
  EXPECT_EQ(error().rfind("png_decode: libpng: ", 0), 0u) << error();

  bytes not_png = {'n', 'o', 't', ' ', 'p', 'n', 'g', '!', 0, 0, 0, 0};
  EXPECT_EQ(read_bytes("bad.png", not_png), 0);
  EXPECT_EQ(error().rfind("png_decode: libpng: ", 0), 0u) << error();

  // 20000 x 20000 RGB claims 1.2 GB of pixels: refused before allocation.
  bytes big = data;
  const unsigned char size[8] = {0, 0, 0x4E, 0x20, 0, 0, 0x4E, 0x20};
  memcpy(big.data() + 16, size, 8);
  uLong crc = crc32(0, big.data() + 12, 17);
  for (int i = 0; i < 4; ++i) big[29 + i] = static_cast<unsigned char>(crc >> (24 - 8 * i));
  EXPECT_EQ(read_bytes("big.png", big), 0);
  EXPECT_EQ(error(), "png_decode: out of memory");

  imf_image image{};
  imf_set_input_memory(ctx(), data.data(), data.size());
  EXPECT_EQ(png_decode(ctx(), &image), 0);
  EXPECT_EQ(error(), "png_decode: unsupported iotype (3)");
}

TEST_F(PngTest, WarningsReachTheCallback) {
  static std::vector<std::string> seen;
  static int level;
  imf_set_warning(ctx(), [](imgfilter*, int l, const char* text) {
    level = l;
    seen.push_back(text);
  });
  png_options o;
  o.color_type = PNG_COLOR_TYPE_GRAY;
  std::string file = path("w.png");
  write_png(file, 1, 1, o, {{5}});
  // Corrupt the CRC of the IEND chunk: libpng warns or errors through us.
  FILE* f = fopen(file.c_str(), "r+b");
  fseek(f, -1, SEEK_END);
  fputc(0, f);
  fclose(f);
  read(file);
  ASSERT_FALSE(seen.empty() && error().empty());
  if (!seen.empty()) {
    EXPECT_EQ(level, IMF_PNG_WARNING_LEVEL);
    EXPECT_EQ(seen[0].rfind("libpng: ", 0), 0u);
  }
}

TEST_F(PngTest, EncoderRoundTripsEveryAcceptedType) {
  struct sample {
    int type, width;
    bytes data;
  };
  const sample samples[] = {{IMF_GRAY1, 9, {0xA5, 0x80}},
                            {IMF_GRAY4, 3, {0x1F, 0x70}},
                            {IMF_GRAY16, 1, {0x34, 0x12}},
                            {IMF_PAL2, 4, {0x1B}},
                            {IMF_RGB24, 1, {1, 2, 3}}};
  for (const sample& s : samples) {
    imf_free_image(ctx()->image);
    imf_image* image = ctx()->image = imf_new_image();
    image->type = s.type;
    image->width = s.width;
    image->height = 1;
    ASSERT_EQ(imf_alloc_pixels(ctx(), image, "oom"), 1);
    memcpy(image->data, s.data.data(), s.data.size());
    if (imf_is_palette_type(s.type)) {
      imf_alloc_palette(image);
      image->palette_count = 3;
      image->palette[1] = {9, 8, 7, 0};
    }
    std::string out = path("enc.png");
    imf_set_output_format(ctx(), IMF_FMT_PNG);
    imf_set_output_file(ctx(), out.c_str());
    ASSERT_EQ(imf_write(ctx()), 1) << s.type << ": " << error();
    ASSERT_EQ(read(out), 1) << error();
    EXPECT_EQ(img()->type, s.type);
    EXPECT_EQ(pixels(), s.data) << s.type;
  }
  EXPECT_EQ(img()->data[0], 1);

  imf_free_image(ctx()->image);
  ctx()->image = imf_new_image();
  ctx()->image->type = IMF_PAL8;
  ctx()->image->width = 1;
  ctx()->image->height = 1;
  imf_alloc_pixels(ctx(), ctx()->image, "oom");
  EXPECT_EQ(imf_write(ctx()), 0);
  EXPECT_EQ(error(), "png_encode: image should have a palette");
  ctx()->image->type = IMF_GRAYW8;
  EXPECT_EQ(imf_write(ctx()), 0);
  EXPECT_EQ(error(), "png_encode: unsupported color type (41)");
}

}  // namespace
