// PNG encoding; see png_encode.h.
#include "platform/png_encode.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace {

void append_bytes(png_structp png, png_bytep data, size_t length) {
  bool stored = true;
  try {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data),
                                                           length);
  } catch (const std::bad_alloc&) {
    stored = false;
  }
  if (!stored) png_error(png, "out of memory");
}

void no_flush(png_structp) {}

// Failures are answered, not printed.
void jump_back(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void ignore_warning(png_structp, png_const_charp) {}

// libpng reports errors by a long jump back to the setjmp in encode();
// everything that needs a destructor lives outside of it.
struct Writer {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~Writer() { png_destroy_write_struct(&png, &info); }
};

bool encode(const unsigned char* pixels, int width, int height, int stride, Writer& w,
            png_bytep row, std::string* out) {
  if (setjmp(png_jmpbuf(w.png))) return false;
  png_set_write_fn(w.png, out, append_bytes, no_flush);
  png_set_IHDR(w.png, w.info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  // A white background, as pictures written before this writer carried.
  png_color_16 white{};
  white.red = white.green = white.blue = white.gray = 255;
  png_set_bKGD(w.png, w.info, &white);
  png_set_compression_level(w.png, Z_BEST_SPEED);
  png_set_filter(w.png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  png_write_info(w.png, w.info);
  for (int y = 0; y < height; ++y) {
    const unsigned char* line = pixels + static_cast<size_t>(y) * static_cast<size_t>(stride);
    for (int x = 0; x < width; ++x) {
      uint32_t p;
      std::memcpy(&p, line + 4 * static_cast<size_t>(x), sizeof p);
      row[3 * x] = static_cast<png_byte>(p >> 16);
      row[3 * x + 1] = static_cast<png_byte>(p >> 8);
      row[3 * x + 2] = static_cast<png_byte>(p);
    }
    png_write_row(w.png, row);
  }
  png_write_end(w.png, w.info);
  return true;
}

}  // namespace

bool png_encode_rgb24(const unsigned char* pixels, int width, int height, int stride,
                      std::string* out) {
  // PNG sizes are 31-bit; the row buffer and the stride must hold a row.
  if (!pixels || !out || width <= 0 || height <= 0 || width > (INT32_MAX - 1) / 4 ||
      stride < 4 * width)
    return false;
  try {
    Writer w;
    w.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, jump_back, ignore_warning);
    if (!w.png) return false;
    w.info = png_create_info_struct(w.png);
    if (!w.info) return false;
    std::vector<png_byte> row(3 * static_cast<size_t>(width));
    std::string encoded;
    if (!encode(pixels, width, height, stride, w, row.data(), &encoded)) return false;
    out->append(encoded);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}
