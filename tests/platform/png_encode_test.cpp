// PNG encoding of image surfaces, read back with libpng's own decoder.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/dc_cairo.h"
#include "platform/dc_pdf.h"
#include "platform/png_encode.h"

namespace {

struct Decoded {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
};

// The chunk types in file order, one entry per run of equal types.
std::vector<std::string> chunk_types(const std::string& png) {
  std::vector<std::string> types;
  for (size_t at = 8; at + 8 <= png.size();) {
    const auto* p = reinterpret_cast<const unsigned char*>(png.data() + at);
    const size_t length = (size_t{p[0]} << 24) | (size_t{p[1]} << 16) | (size_t{p[2]} << 8) | p[3];
    const std::string type = png.substr(at + 4, 4);
    if (types.empty() || types.back() != type) types.push_back(type);
    at += 12 + length;
  }
  return types;
}

bool decode(const std::string& png, Decoded* out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return false;
  image.format = PNG_FORMAT_RGB;
  out->width = static_cast<int>(image.width);
  out->height = static_cast<int>(image.height);
  out->rgb.resize(PNG_IMAGE_SIZE(image));
  return png_image_finish_read(&image, nullptr, out->rgb.data(), 0, nullptr) != 0;
}

TEST(PngEncode, PixelsComeBackExactlyWithTheUnusedByteIgnored) {
  // Three rows of five, with a stride longer than a row and garbage in the
  // unused top byte and the padding.
  const int w = 5, h = 3, stride = 4 * w + 12;
  std::vector<uint8_t> pixels(static_cast<size_t>(stride) * h, 0xEE);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      const uint32_t p = 0xA5000000u | (uint32_t(40 * x) << 16) | (uint32_t(90 * y) << 8) | 7u;
      std::memcpy(&pixels[static_cast<size_t>(y) * stride + 4 * x], &p, 4);
    }
  std::string png = "keep";
  ASSERT_TRUE(png_encode_rgb24(pixels.data(), w, h, stride, &png));
  ASSERT_EQ(png.substr(0, 4), "keep");  // appended, not replaced

  EXPECT_EQ(chunk_types(png.substr(4)), (std::vector<std::string>{"IHDR", "bKGD", "IDAT", "IEND"}));
  Decoded got;
  ASSERT_TRUE(decode(png.substr(4), &got));
  ASSERT_EQ(got.width, w);
  ASSERT_EQ(got.height, h);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      const uint8_t* p = &got.rgb[3 * (static_cast<size_t>(y) * w + x)];
      EXPECT_EQ(p[0], 40 * x);
      EXPECT_EQ(p[1], 90 * y);
      EXPECT_EQ(p[2], 7);
    }
}

TEST(PngEncode, UnusableSizesAreRefusedAndLeaveTheOutputAlone) {
  std::vector<uint8_t> pixels(64, 0);
  std::string png = "x";
  EXPECT_FALSE(png_encode_rgb24(pixels.data(), 0, 1, 16, &png));
  EXPECT_FALSE(png_encode_rgb24(pixels.data(), 4, 0, 16, &png));
  EXPECT_FALSE(png_encode_rgb24(pixels.data(), 4, 1, 15, &png));  // stride shorter than a row
  EXPECT_FALSE(png_encode_rgb24(pixels.data(), INT32_MAX, 1, INT32_MAX, &png));
  EXPECT_FALSE(png_encode_rgb24(nullptr, 4, 1, 16, &png));
  EXPECT_EQ(png, "x");
}

TEST(PngEncode, ScreenContextWritesWhatItHoldsAndPdfHasNoPixels) {
  auto dc = CairoDc::create_screen(30, 20);
  ASSERT_TRUE(dc);
  DcObject white = dc->create_solid_brush(dc_rgb(255, 255, 255));
  DcObject blue = dc->create_solid_brush(dc_rgb(0, 0, 255));
  dc->fill_rect({0, 0, 30, 20}, white);
  dc->fill_rect({3, 4, 10, 9}, blue);
  std::string png;
  ASSERT_TRUE(dc->encode_png(&png));
  Decoded got;
  ASSERT_TRUE(decode(png, &got));
  ASSERT_EQ(got.width, 30);
  ASSERT_EQ(got.height, 20);
  for (int y = 0; y < 20; y++)
    for (int x = 0; x < 30; x++) {
      const uint8_t* p = &got.rgb[3 * (static_cast<size_t>(y) * 30 + x)];
      const DcColor pixel = dc_rgb(p[0], p[1], p[2]);
      ASSERT_EQ(pixel, dc->get_pixel(x, y)) << x << "," << y;
    }

  // The file holds the same bytes; an unwritable path is a failure.
  const char* tmp = getenv("TMPDIR");
  const std::string path =
      std::string(tmp && *tmp ? tmp : "/tmp") + "/tessel_png_encode_" + std::to_string(getpid()) + ".png";
  ASSERT_TRUE(dc->write_png(path.c_str()));
  std::string file;
  if (FILE* f = fopen(path.c_str(), "rb")) {
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, f)) > 0;) file.append(buffer, n);
    fclose(f);
  }
  unlink(path.c_str());
  EXPECT_EQ(file, png);
  EXPECT_FALSE(dc->write_png("/nonexistent-folder/page.png"));

  std::string error;
  auto pdf = PdfDc::create("/dev/null", 612, 792, {0, 0, 5100, 6600}, DC_PRINTER_DPI, &error);
  ASSERT_TRUE(pdf) << error;
  EXPECT_EQ(pdf->get_pixel(0, 0), DC_INVALID_COLOR);
}

}  // namespace
