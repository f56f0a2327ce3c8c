// The module's resources; see resources.h.
#include "platform/resources.h"

#include <cstring>
#include <vector>

namespace {

struct Rgb {
  unsigned char red, green, blue;
};

// A bottom-up 24-bit bitmap; rows are padded to four bytes. `paint` answers
// the colour at (x, y) counted from the top-left corner.
struct PaintedBitmap {
  DcBitmapInfoHeader info{};
  std::vector<unsigned char> bits;

  template <class Paint>
  PaintedBitmap(int width, int height, Paint paint) {
    const int stride = (width * 3 + 3) & ~3;
    info.size = sizeof info;
    info.width = width;
    info.height = height;
    info.planes = 1;
    info.bit_count = 24;
    info.size_image = static_cast<uint32_t>(stride * height);
    bits.assign(info.size_image, 0);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const Rgb c = paint(x, y);
        unsigned char* pixel = &bits[static_cast<size_t>((height - 1 - y) * stride + x * 3)];
        pixel[0] = c.blue;
        pixel[1] = c.green;
        pixel[2] = c.red;
      }
  }

  ResourceBitmap resource() const { return {&info, bits.data(), bits.size()}; }
};

constexpr Rgb kWhite{0xFF, 0xFF, 0xFF};
constexpr Rgb kTeal{0x1F, 0x7A, 0x8C};
constexpr Rgb kSand{0xE8, 0xD9, 0xB5};
constexpr Rgb kGrout{0x60, 0x60, 0x60};

// Four by four tiles in two colours with grout between them.
Rgb toolbox_pixel(int x, int y) {
  if (x % 4 == 3 || y % 4 == 3) return kGrout;
  return ((x / 4) + (y / 4)) % 2 == 0 ? kTeal : kSand;
}

// 5 x 7 glyphs of the letters in the name, one row per byte, bit 4 leftmost.
struct Glyph {
  char letter;
  unsigned char rows[7];
};
constexpr Glyph kGlyphs[] = {
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
};
constexpr char kBrandName[] = "TESSEL";
constexpr int kGlyphScale = 4;
constexpr int kGlyphAdvance = 6 * kGlyphScale;
constexpr int kTextLeft = (160 - (6 * kGlyphAdvance - kGlyphScale)) / 2;
constexpr int kTextTop = (128 - 7 * kGlyphScale) / 2;

bool brand_letter_at(int x, int y) {
  const int gx = x - kTextLeft;
  const int gy = y - kTextTop;
  if (gx < 0 || gy < 0 || gy >= 7 * kGlyphScale) return false;
  const int index = gx / kGlyphAdvance;
  const int column = (gx % kGlyphAdvance) / kGlyphScale;
  if (index >= 6 || column >= 5) return false;
  for (const Glyph& glyph : kGlyphs)
    if (glyph.letter == kBrandName[index]) return (glyph.rows[gy / kGlyphScale] >> (4 - column) & 1) != 0;
  return false;
}

// The name in white on a band, over a field of tiles.
Rgb branded_pixel(int x, int y) {
  if (y >= kTextTop - 12 && y < kTextTop + 7 * kGlyphScale + 12) return brand_letter_at(x, y) ? kWhite : kTeal;
  if (x % 16 == 15 || y % 16 == 15) return kGrout;
  return ((x / 16) + (y / 16)) % 2 == 0 ? kSand : kWhite;
}

}  // namespace

bool load_bitmap_resource(int id, ResourceBitmap* bitmap) {
  if (bitmap == nullptr) return false;
  switch (id) {
    case IDB_DEVICE_PAGE: {
      static const PaintedBitmap white(160, 128, [](int, int) { return kWhite; });
      *bitmap = white.resource();
      return true;
    }
    case IDB_TOOLBOX: {
      static const PaintedBitmap toolbox(16, 16, toolbox_pixel);
      *bitmap = toolbox.resource();
      return true;
    }
    case IDB_BRANDED: {
      static const PaintedBitmap branded(160, 128, branded_pixel);
      *bitmap = branded.resource();
      return true;
    }
    default: return false;
  }
}

int load_string_resource(int id, char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return 0;
  buffer[0] = '\0';
  if (id != IDS_PROJNAME) return 0;
  const char* text = "Tessel";
  const size_t length =
      std::strlen(text) < static_cast<size_t>(size - 1) ? std::strlen(text) : static_cast<size_t>(size - 1);
  std::memcpy(buffer, text, length);
  buffer[length] = '\0';
  return static_cast<int>(length);
}

ModuleVersion module_file_version() {
  return {1, 0, 0, 16};
}

const char* module_file_version_text() {
  return "1.0.0.16";
}
