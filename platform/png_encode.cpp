// PNG encoding; see png_encode.h.
#include "platform/png_encode.h"

#include <libdeflate.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

namespace {

// libdeflate's fastest level packs flat page colour as tightly as zlib's
// fastest, in about half the time.
constexpr int kLevel = 1;

struct CompressorDeleter {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

void put32(std::string& out, uint32_t v) {
  const char bytes[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                         static_cast<char>(v)};
  out.append(bytes, 4);
}

void put_chunk(std::string& out, const char type[4], std::string_view data) {
  put32(out, static_cast<uint32_t>(data.size()));
  const size_t start = out.size();
  out.append(type, 4);
  out.append(data);
  put32(out, libdeflate_crc32(0, out.data() + start, out.size() - start));
}

}  // namespace

bool png_encode_rgb24(const unsigned char* pixels, int width, int height, int stride, std::string* out) {
  // PNG sizes are 31-bit; the stride must hold a row.
  if (!pixels || !out || width <= 0 || height <= 0 || width > (INT32_MAX - 1) / 4 || stride < 4 * width) return false;
  const size_t row = 1 + 3 * static_cast<size_t>(width);
  if (row > SIZE_MAX / static_cast<size_t>(height)) return false;
  try {
    // Rows without filters (a 0 before each), three bytes a pixel.
    std::vector<unsigned char> raw(row * static_cast<size_t>(height));
    unsigned char* r = raw.data();
    for (int y = 0; y < height; ++y) {
      const unsigned char* line = pixels + static_cast<size_t>(y) * static_cast<size_t>(stride);
      *r++ = 0;
      for (int x = 0; x < width; ++x) {
        uint32_t p;
        std::memcpy(&p, line + 4 * static_cast<size_t>(x), sizeof p);
        r[0] = static_cast<unsigned char>(p >> 16);
        r[1] = static_cast<unsigned char>(p >> 8);
        r[2] = static_cast<unsigned char>(p);
        r += 3;
      }
    }
    std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(libdeflate_alloc_compressor(kLevel));
    if (!compressor) return false;
    // The bound is about the raw size; only what is written of it is touched.
    const size_t bound = libdeflate_zlib_compress_bound(compressor.get(), raw.size());
    std::unique_ptr<char[]> packed(new char[bound]);
    const size_t size = libdeflate_zlib_compress(compressor.get(), raw.data(), raw.size(), packed.get(), bound);
    if (size == 0) return false;

    std::string png("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    put32(header, static_cast<uint32_t>(width));
    put32(header, static_cast<uint32_t>(height));
    header.append("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB, deflate, filter method 0, not interlaced
    put_chunk(png, "IHDR", header);
    // A white background, as pictures written before this writer carried.
    put_chunk(png, "bKGD", std::string_view("\x00\xFF\x00\xFF\x00\xFF", 6));
    put_chunk(png, "IDAT", std::string_view(packed.get(), size));
    put_chunk(png, "IEND", {});
    out->append(png);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}
