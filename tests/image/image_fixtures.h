// Test fixtures for the image library: a scratch directory, BMP bytes
// assembled by hand, and PNG/JPEG files written through libpng and libjpeg.
#pragma once

#include <png.h>
#include <stdio.h>
#include <jpeglib.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "image/imgfilter.h"

namespace imgtest {

using bytes = std::vector<unsigned char>;

inline void put16(bytes& out, unsigned v) {
  out.push_back(static_cast<unsigned char>(v));
  out.push_back(static_cast<unsigned char>(v >> 8));
}
inline void put32(bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

// A 40-byte info header.
inline bytes info_header(int32_t width, int32_t height, unsigned bits, uint32_t compression = 0, uint32_t colors = 0,
                         uint32_t image_size = 0, int32_t x_ppm = 0, int32_t y_ppm = 0) {
  bytes h;
  put32(h, 40);
  put32(h, static_cast<uint32_t>(width));
  put32(h, static_cast<uint32_t>(height));
  put16(h, 1);
  put16(h, bits);
  put32(h, compression);
  put32(h, image_size);
  put32(h, static_cast<uint32_t>(x_ppm));
  put32(h, static_cast<uint32_t>(y_ppm));
  put32(h, colors);
  put32(h, 0);
  return h;
}

// "BM" file header before dib; bits_offset 0 means "follows the table".
inline bytes bmp_file(const bytes& dib, uint32_t bits_offset) {
  bytes f = {'B', 'M'};
  put32(f, static_cast<uint32_t>(dib.size() + 14));
  put32(f, 0);
  put32(f, bits_offset);
  f.insert(f.end(), dib.begin(), dib.end());
  return f;
}

inline void append(bytes& out, const bytes& more) {
  out.insert(out.end(), more.begin(), more.end());
}

// A scratch directory removed with the fixture.
class ImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    context_.reset(imf_create(IMF_VERSION));
    ASSERT_TRUE(context_);
    imf_register(context_.get(), imf_module_bmp);
    imf_register(context_.get(), imf_module_png);
    imf_register(context_.get(), imf_module_jpeg);
  }
  std::string path(const std::string& name) const { return dir_.file(name); }

  std::string write_file(const std::string& name, const bytes& data) {
    std::string p = path(name);
    FILE* f = fopen(p.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    if (f) {
      fwrite(data.data(), 1, data.size(), f);
      fclose(f);
    }
    return p;
  }

  // Reads a file with the format taken from its extension.
  int read(const std::string& file) {
    imf_set_input_format(ctx(), imf_format_from_extension(file.c_str()));
    imf_set_input_file(ctx(), file.c_str());
    return imf_read(ctx());
  }
  int read_bytes(const std::string& name, const bytes& data) { return read(write_file(name, data)); }

  imgfilter* ctx() { return context_.get(); }
  imf_image* img() { return context_->image; }
  std::string error() const { return context_->error_text; }

  tessel_testing::TempDir dir_;
  imf_context_ptr context_;
};

struct png_options {
  int color_type = PNG_COLOR_TYPE_RGB;
  int depth = 8;
  std::vector<png_color> palette;
  std::vector<unsigned char> trans;  // palette alpha
  bool has_trans_color = false;
  png_color_16 trans_color{};
  bool has_background = false;
  png_color_16 background{};
  bool has_phys = false;
  png_uint_32 x_res = 0, y_res = 0;
  int phys_unit = PNG_RESOLUTION_METER;
  bool srgb = false;
  double gamma = 0;
  bool interlace = false;
};

// Writes rows (already in PNG byte layout) as a PNG file.
inline void write_png(const std::string& file, int width, int height, const png_options& o,
                      const std::vector<bytes>& rows) {
  FILE* f = fopen(file.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_IHDR(png, info, width, height, o.depth, o.color_type, o.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!o.palette.empty()) png_set_PLTE(png, info, o.palette.data(), static_cast<int>(o.palette.size()));
  if (!o.trans.empty() || o.has_trans_color)
    png_set_tRNS(png, info, o.trans.empty() ? nullptr : o.trans.data(), static_cast<int>(o.trans.size()),
                 o.has_trans_color ? const_cast<png_color_16*>(&o.trans_color) : nullptr);
  if (o.has_background) png_set_bKGD(png, info, &o.background);
  if (o.has_phys) png_set_pHYs(png, info, o.x_res, o.y_res, o.phys_unit);
  if (o.srgb) png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
  if (o.gamma > 0) png_set_gAMA(png, info, o.gamma);
  png_write_info(png, info);
  int passes = png_set_interlace_handling(png);
  for (int pass = 0; pass < passes; ++pass)
    for (const bytes& row : rows) png_write_row(png, row.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  fclose(f);
}

struct jpeg_options {
  J_COLOR_SPACE space = JCS_RGB;
  int components = 3;
  int density_unit = 0;
  int x_density = 1, y_density = 1;
  int quality = 95;
};

// Writes interleaved 8-bit samples as a baseline JPEG file.
inline void write_jpeg(const std::string& file, int width, int height, const jpeg_options& o, const bytes& samples) {
  FILE* f = fopen(file.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  jpeg_compress_struct info;
  jpeg_error_mgr error;
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, f);
  info.image_width = width;
  info.image_height = height;
  info.input_components = o.components;
  info.in_color_space = o.space;
  jpeg_set_defaults(&info);
  if (o.space == JCS_CMYK) jpeg_set_colorspace(&info, JCS_CMYK);
  jpeg_set_quality(&info, o.quality, TRUE);
  info.density_unit = static_cast<UINT8>(o.density_unit);
  info.X_density = static_cast<UINT16>(o.x_density);
  info.Y_density = static_cast<UINT16>(o.y_density);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row =
        const_cast<unsigned char*>(samples.data()) + static_cast<size_t>(info.next_scanline) * width * o.components;
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  fclose(f);
}

}  // namespace imgtest
