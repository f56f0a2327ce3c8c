// Decoding a 4000 x 3000 PNG and JPEG through the image library, with and
// without the memory DIB encoding, beside plain libpng/libjpeg decoding of
// the same files.
#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/imgfilter.h"

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

// A smooth picture with some texture, so both codecs see realistic data.
std::vector<unsigned char> test_pixels() {
  std::vector<unsigned char> rgb(static_cast<size_t>(kWidth) * kHeight * 3);
  uint32_t noise = 12345;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      noise = noise * 1103515245 + 12345;
      unsigned char* p = &rgb[(static_cast<size_t>(y) * kWidth + x) * 3];
      p[0] = static_cast<unsigned char>(x * 255 / kWidth);
      p[1] = static_cast<unsigned char>(y * 255 / kHeight);
      p[2] = static_cast<unsigned char>(((x ^ y) & 0x3F) + ((noise >> 16) & 0x0F));
    }
  return rgb;
}

std::string temp_path(const char* name) {
  const char* dir = getenv("TMPDIR");
  return std::string(dir && *dir ? dir : "/tmp") + "/tessel-bench-" + std::to_string(getpid()) + name;
}

struct bench_files {
  std::string png = temp_path(".png"), jpeg = temp_path(".jpg");

  bench_files() {
    std::vector<unsigned char> rgb = test_pixels();
    FILE* f = fopen(png.c_str(), "wb");
    png_structp w = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(w);
    png_init_io(w, f);
    png_set_compression_level(w, 3);
    png_set_IHDR(w, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(w, info);
    for (int y = 0; y < kHeight; ++y) png_write_row(w, &rgb[static_cast<size_t>(y) * kWidth * 3]);
    png_write_end(w, info);
    png_destroy_write_struct(&w, &info);
    fclose(f);

    f = fopen(jpeg.c_str(), "wb");
    jpeg_compress_struct c;
    jpeg_error_mgr e;
    c.err = jpeg_std_error(&e);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = kWidth;
    c.image_height = kHeight;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 85, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
      JSAMPROW row = &rgb[static_cast<size_t>(c.next_scanline) * kWidth * 3];
      jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    fclose(f);
  }
  ~bench_files() {
    unlink(png.c_str());
    unlink(jpeg.c_str());
  }
};

const bench_files& files() {
  static bench_files instance;
  return instance;
}

void* zeroed(imgfilter*, void*, size_t size) {
  return calloc(1, size);
}

void plain_png(benchmark::State& state) {
  const std::string& name = files().png;
  for (auto _ : state) {
    FILE* f = fopen(name.c_str(), "rb");
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_read_info(png, info);
    png_read_update_info(png, info);
    size_t stride = png_get_rowbytes(png, info);
    png_uint_32 height = png_get_image_height(png, info);
    auto* data = static_cast<unsigned char*>(malloc(stride * height));
    std::vector<png_bytep> rows(height);
    for (png_uint_32 y = 0; y < height; ++y) rows[y] = data + y * stride;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    benchmark::DoNotOptimize(data);
    free(data);
    fclose(f);
  }
}

void plain_jpeg(benchmark::State& state) {
  const std::string& name = files().jpeg;
  for (auto _ : state) {
    FILE* f = fopen(name.c_str(), "rb");
    jpeg_decompress_struct d;
    jpeg_error_mgr e;
    d.err = jpeg_std_error(&e);
    jpeg_create_decompress(&d);
    jpeg_stdio_src(&d, f);
    jpeg_read_header(&d, TRUE);
    jpeg_start_decompress(&d);
    size_t stride = static_cast<size_t>(d.output_width) * d.output_components;
    auto* data = static_cast<unsigned char*>(malloc(stride * d.output_height));
    while (d.output_scanline < d.output_height) {
      JSAMPROW row = data + d.output_scanline * stride;
      jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    benchmark::DoNotOptimize(data);
    free(data);
    fclose(f);
  }
}

// Reads the file through the library; with to_dib also encodes the memory DIB
// the render target draws from.
void library(benchmark::State& state, const std::string& name, int format, bool to_dib) {
  for (auto _ : state) {
    imf_context_ptr context(imf_create(IMF_VERSION));
    imf_register(context.get(), imf_module_bmp);
    imf_register(context.get(), imf_module_png);
    imf_register(context.get(), imf_module_jpeg);
    imf_set_input_format(context.get(), format);
    imf_set_input_file(context.get(), name.c_str());
    if (!imf_read(context.get())) state.SkipWithError(context->error_text);
    if (to_dib) {
      void* block = nullptr;
      imf_set_malloc(context.get(), zeroed);
      imf_set_output_format(context.get(), IMF_FMT_DIB);
      imf_set_output_memory(context.get(), &block, nullptr, nullptr, nullptr);
      if (!imf_write(context.get())) state.SkipWithError(context->error_text);
      benchmark::DoNotOptimize(block);
      free(block);
    }
  }
}

void library_png(benchmark::State& state) {
  library(state, files().png, IMF_FMT_PNG, false);
}
void library_png_dib(benchmark::State& state) {
  library(state, files().png, IMF_FMT_PNG, true);
}
void library_jpeg(benchmark::State& state) {
  library(state, files().jpeg, IMF_FMT_JPEG, false);
}
void library_jpeg_dib(benchmark::State& state) {
  library(state, files().jpeg, IMF_FMT_JPEG, true);
}

}  // namespace

BENCHMARK(plain_png)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(library_png)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(library_png_dib)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(plain_jpeg)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(library_jpeg)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(library_jpeg_dib)->Unit(benchmark::kMillisecond)->MinTime(2);

BENCHMARK_MAIN();
