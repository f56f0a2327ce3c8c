// BMP/DIB decoding and encoding: row order, colour tables, bit fields, RLE,
// bounds against hostile headers, and the exact layout of encoded DIBs.
#include <cstring>

#include "image/imf_bmp.h"
#include "image/imf_ops.h"
#include "image_fixtures.h"

namespace {

using namespace imgtest;

class BmpTest : public ImageTest {
 protected:
  // Decodes a DIB held in memory.
  int decode_dib(const bytes& dib) {
    imf_set_input_format(ctx(), IMF_FMT_DIB);
    imf_set_input_memory(ctx(), dib.data(), dib.size());
    return imf_read(ctx());
  }
  std::vector<unsigned char> row(int y) const {
    const imf_image* image = context_->image;
    const unsigned char* start = image->data + y * image->stride;
    return {start, start + image->stride};
  }
};

TEST_F(BmpTest, TwentyFourBitRowsAreBottomUpAndSwapped) {
  bytes dib = info_header(2, 2, 24);
  append(dib, {1, 2, 3, 4, 5, 6, 0, 0});     // file row 0: bottom
  append(dib, {7, 8, 9, 10, 11, 12, 0, 0});  // file row 1: top
  ASSERT_EQ(read_bytes("a.bmp", bmp_file(dib, 54)), 1) << error();
  ASSERT_EQ(img()->type, IMF_RGB24);
  EXPECT_EQ(row(0), (std::vector<unsigned char>{9, 8, 7, 12, 11, 10}));
  EXPECT_EQ(row(1), (std::vector<unsigned char>{3, 2, 1, 6, 5, 4}));
  EXPECT_EQ(img()->src_bits, 24);
  EXPECT_EQ(img()->src_channels, 3);
}

TEST_F(BmpTest, TopDownPaletteImageKeepsFileOrder) {
  bytes dib = info_header(3, -2, 8, 0, 2);
  append(dib, {0, 0, 255, 0, 0, 255, 0, 0});  // red, green
  append(dib, {0, 1, 0, 0});
  append(dib, {1, 1, 0, 0});
  ASSERT_EQ(read_bytes("a.bmp", bmp_file(dib, 0)), 1) << error();
  ASSERT_EQ(img()->type, IMF_PAL8);
  EXPECT_EQ(img()->palette_count, 2);
  EXPECT_EQ(img()->palette[0].red, 255);
  EXPECT_EQ(img()->palette[1].green, 255);
  EXPECT_EQ(row(0), (std::vector<unsigned char>{0, 1, 0}));
  EXPECT_EQ(row(1), (std::vector<unsigned char>{1, 1, 0}));
}

TEST_F(BmpTest, OneBitGrayPalettesReduceToGray) {
  auto one_bit = [](bool inverted) {
    bytes dib = info_header(8, 1, 1);
    bytes black = {0, 0, 0, 0}, white = {255, 255, 255, 0};
    append(dib, inverted ? white : black);
    append(dib, inverted ? black : white);
    append(dib, {0xA5, 0, 0, 0});
    return bmp_file(dib, 0);
  };
  ASSERT_EQ(read_bytes("a.bmp", one_bit(false)), 1) << error();
  EXPECT_EQ(img()->type, IMF_GRAY1);
  EXPECT_EQ(img()->orig_type, IMF_PAL1);
  EXPECT_EQ(img()->palette, nullptr);
  EXPECT_EQ(img()->data[0], 0xA5);
  ASSERT_EQ(read_bytes("b.bmp", one_bit(true)), 1) << error();
  EXPECT_EQ(img()->type, IMF_GRAY1);
  EXPECT_EQ(img()->data[0], 0x5A);
}

TEST_F(BmpTest, SixteenBitDefaultsTo555AndBitFieldsAreHonoured) {
  bytes dib = info_header(2, 1, 16);
  append(dib, {0xFF, 0x7F, 0x21, 0x04});
  ASSERT_EQ(decode_dib(dib), 1) << error();
  EXPECT_EQ(row(0), (std::vector<unsigned char>{255, 255, 255, 8, 8, 8}));

  bytes fields = info_header(1, 1, 16, 3);
  put32(fields, 0xF800);
  put32(fields, 0x07E0);
  put32(fields, 0x001F);
  append(fields, {0xE0, 0x07, 0, 0});  // pure 6-bit green
  ASSERT_EQ(decode_dib(fields), 1) << error();
  EXPECT_EQ(row(0), (std::vector<unsigned char>{0, 255, 0}));

  // A full-width mask must not shift by more than the value's width.
  bytes wide = info_header(1, 1, 32, 3);
  put32(wide, 0xFFFFFFFF);
  put32(wide, 0);
  put32(wide, 0x80000000);
  append(wide, {0xFF, 0xFF, 0xFF, 0xFF});
  ASSERT_EQ(decode_dib(wide), 1) << error();
  EXPECT_EQ(row(0), (std::vector<unsigned char>{255, 0, 0xC0}));  // one bit: 1 then 1 repeated
}

TEST_F(BmpTest, Rle8RunsAbsoluteModeAndEnd) {
  bytes dib = info_header(6, 2, 8, 1, 256, 12);
  for (int i = 0; i < 256; ++i) append(dib, {static_cast<unsigned char>(i), 0, 0, 0});
  append(dib, {0x03, 0x41, 0x00, 0x03, 0x01, 0x02, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01});
  ASSERT_EQ(decode_dib(dib), 1) << error();
  EXPECT_EQ(row(1), (std::vector<unsigned char>{0x41, 0x41, 0x41, 1, 2, 3}));  // first row is bottom
  EXPECT_EQ(row(0), (std::vector<unsigned char>(6, 0)));
}

TEST_F(BmpTest, RleDeltaStopsButTheReadSucceeds) {
  bytes dib = info_header(4, 1, 8, 1, 2, 6);
  append(dib, {0, 0, 0, 0, 255, 255, 255, 0});
  append(dib, {0x02, 0x01, 0x00, 0x02, 0x05, 0x01});
  ASSERT_EQ(decode_dib(dib), 1);
  EXPECT_EQ(error(), "Unsupported bitmap type (0 2)");
  EXPECT_EQ(row(0), (std::vector<unsigned char>{1, 1, 0, 0}));
}

TEST_F(BmpTest, Rle4NibblesWrapAndTruncatedDataStaysInBounds) {
  bytes dib = info_header(5, 2, 4, 2, 16, 0);
  for (int i = 0; i < 16; ++i) append(dib, {static_cast<unsigned char>(i * 16), 0, 0, 0});
  // Run of 10 alternating 1,2 pixels wraps past the 8-pixel padded row;
  // absolute mode then claims 9 pixels but the data ends after one pair
  // (the odd last byte is no pair and is ignored).
  append(dib, {0x0A, 0x12, 0x00, 0x09, 0x34, 0x56, 0x78});
  ASSERT_EQ(decode_dib(dib), 1) << error();
  EXPECT_EQ(img()->type, IMF_PAL4);
  EXPECT_EQ(row(1), (std::vector<unsigned char>{0x12, 0x12, 0x10}));
  EXPECT_EQ(row(0), (std::vector<unsigned char>{0x12, 0x34, 0x50}));
}

TEST_F(BmpTest, CoreHeaderWithThreeByteColours) {
  bytes dib;
  put32(dib, 12);
  put16(dib, 2);
  put16(dib, 1);
  put16(dib, 1);
  put16(dib, 4);
  append(dib, {0, 0, 255, 255, 0, 0});  // red, blue
  for (int i = 2; i < 16; ++i) append(dib, {0, 0, 0});
  append(dib, {0x01, 0, 0, 0});
  ASSERT_EQ(decode_dib(dib), 1) << error();
  EXPECT_EQ(img()->palette[0].red, 255);
  EXPECT_EQ(img()->palette[1].blue, 255);
  EXPECT_EQ(img()->data[0], 0x01);
}

TEST_F(BmpTest, MalformedHeadersAreRefused) {
  EXPECT_EQ(read_bytes("short.bmp", {'B', 'M', 0, 0}), 0);
  EXPECT_EQ(error(), "invalid BMP file");
  bytes dib = info_header(1, 1, 24);
  append(dib, {0, 0, 0, 0});
  bytes file = bmp_file(dib, 54);
  file[0] = 'X';
  EXPECT_EQ(read_bytes("x.bmp", file), 0);
  EXPECT_EQ(error(), "not a BMP file");
  EXPECT_EQ(read_bytes("off.bmp", bmp_file(dib, 9999)), 0);
  EXPECT_EQ(error(), "invalid BMP file");

  auto refused = [&](const bytes& header) {
    bytes d = header;
    d.resize(d.size() + 64, 0);
    return decode_dib(d) == 0 && error() == "Bad DIB";
  };
  EXPECT_TRUE(refused(info_header(0, 1, 8)));
  EXPECT_TRUE(refused(info_header(100001, 1, 8)));
  EXPECT_TRUE(refused(info_header(1, 1, 7)));
  EXPECT_TRUE(refused(info_header(1, 1, 24, 3)));      // bit fields need 16 or 32 bits
  EXPECT_TRUE(refused(info_header(1, 1, 8, 4)));       // unknown compression
  EXPECT_TRUE(refused(info_header(1, 1, 4, 0, 17)));   // more colours than 4 bits address
  EXPECT_TRUE(refused(info_header(1, 1, 8, 0, 200)));  // table longer than the block
  EXPECT_EQ(decode_dib({40, 0, 0, 0, 1}), 0);
  EXPECT_EQ(error(), "Bad DIB");

  bytes rle24 = info_header(1, 1, 24, 1);
  rle24.resize(60, 0);
  EXPECT_EQ(decode_dib(rle24), 0);
  EXPECT_EQ(error(), "dib_decode: Unsupported compression or color type");

  imf_image image{};
  imf_set_input_stream(ctx(), nullptr);
  EXPECT_EQ(imf_dib_decode_memory(ctx(), &image), 0);
  EXPECT_EQ(error(), "dib_decode: unsupported input type");
}

TEST_F(BmpTest, HugeDimensionsFailBeforeAllocating) {
  bytes dib = info_header(100000, 100000, 24);
  append(dib, {0, 0, 0, 0});
  EXPECT_EQ(read_bytes("huge.bmp", bmp_file(dib, 54)), 0);
  EXPECT_EQ(error(), "dib_decode: Out of memory");
}

TEST_F(BmpTest, TruncatedPixelDataLeavesMissingRowsBlack) {
  bytes dib = info_header(2, 3, 24);
  append(dib, {1, 2, 3, 4, 5, 6, 0, 0, 7});  // one row and a byte of the next
  ASSERT_EQ(decode_dib(dib), 1) << error();
  EXPECT_EQ(row(2), (std::vector<unsigned char>{3, 2, 1, 6, 5, 4}));
  EXPECT_EQ(row(0), (std::vector<unsigned char>(6, 0)));
}

TEST_F(BmpTest, DensityIsTakenOnlyWhenPlausible) {
  bytes ok = info_header(1, 1, 8, 0, 0, 0, 2835, 2835);
  ok.resize(40 + 1024 + 4, 0);
  ASSERT_EQ(decode_dib(ok), 1) << error();
  EXPECT_EQ(img()->density_unit, 2);
  EXPECT_EQ(img()->x_density, 2835);
  bytes skewed = info_header(1, 1, 8, 0, 0, 0, 100, 1000);
  skewed.resize(40 + 1024 + 4, 0);
  ASSERT_EQ(decode_dib(skewed), 1) << error();
  EXPECT_EQ(img()->density_unit, 0);
}

class DibEncodeTest : public BmpTest {
 protected:
  imf_image make(int type, int width, int height) {
    imf_image image{};
    image.type = type;
    image.width = width;
    image.height = height;
    EXPECT_EQ(imf_alloc_pixels(ctx(), &image, "oom"), 1);
    return image;
  }
  struct encoded {
    unsigned char* block = nullptr;
    size_t size = 0, offset = 0;
    ~encoded() { free(block); }
    uint32_t u32(size_t at) const {
      return block[at] | block[at + 1] << 8 | block[at + 2] << 16 | uint32_t{block[at + 3]} << 24;
    }
  };
};

TEST_F(DibEncodeTest, RgbImageLayout) {
  imf_image image = make(IMF_RGB24, 3, 1);
  for (int i = 0; i < 9; ++i) image.data[i] = static_cast<unsigned char>(i + 1);
  image.density_unit = 2;
  image.x_density = 2834.6;
  image.y_density = 100.4;
  encoded e;
  ASSERT_EQ(dib_encode(ctx(), &image, &e.block, &e.size, &e.offset, 0), 1) << error();
  EXPECT_EQ(e.size, 52u);
  EXPECT_EQ(e.offset, 40u);
  EXPECT_EQ(e.u32(0), 40u);
  EXPECT_EQ(e.u32(20), 12u);
  EXPECT_EQ(e.u32(24), 2835u);
  EXPECT_EQ(e.u32(28), 100u);
  EXPECT_EQ(e.u32(32), 0u);
  EXPECT_EQ((std::vector<unsigned char>(e.block + 40, e.block + 52)),
            (std::vector<unsigned char>{3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0}));
  imf_release_pixels(&image);
}

TEST_F(DibEncodeTest, GrayTypesGetRampsAndRowsBottomUp) {
  imf_image gray8 = make(IMF_GRAY8, 1, 2);
  gray8.data[0] = 10;
  gray8.data[1] = 20;
  encoded e;
  ASSERT_EQ(dib_encode(ctx(), &gray8, &e.block, &e.size, &e.offset, 0), 1);
  EXPECT_EQ(e.offset, 1064u);
  EXPECT_EQ(e.size, 1064u + 8);
  EXPECT_EQ(e.u32(40 + 4 * 200), 0x00C8C8C8u);
  EXPECT_EQ(e.block[1064], 20);  // bottom row first
  EXPECT_EQ(e.block[1068], 10);
  imf_release_pixels(&gray8);

  imf_image gray4 = make(IMF_GRAY4, 3, 1);
  gray4.data[0] = 0x1F;
  encoded e4;
  ASSERT_EQ(dib_encode(ctx(), &gray4, &e4.block, &e4.size, &e4.offset, 0), 1);
  EXPECT_EQ(e4.offset, 40u + 64);
  EXPECT_EQ(e4.u32(40 + 4 * 15), 0x00FFFFFFu);
  EXPECT_EQ(e4.u32(40 + 4 * 1), 0x00111111u);
  imf_release_pixels(&gray4);

  imf_image gray16 = make(IMF_GRAY16, 2, 1);
  uint16_t samples[2] = {0x12FF, 0xAB00};
  memcpy(gray16.data, samples, 4);
  encoded e16;
  ASSERT_EQ(dib_encode(ctx(), &gray16, &e16.block, &e16.size, &e16.offset, 0), 1);
  EXPECT_EQ(e16.block[14], 8);
  EXPECT_EQ(e16.block[e16.offset], 0x12);
  EXPECT_EQ(e16.block[e16.offset + 1], 0xAB);
  imf_release_pixels(&gray16);
}

TEST_F(DibEncodeTest, TwoBitImagesBecomeFourBit) {
  imf_image gray2 = make(IMF_GRAY2, 4, 1);
  gray2.data[0] = 0x1B;  // 0 1 2 3
  encoded e;
  ASSERT_EQ(dib_encode(ctx(), &gray2, &e.block, &e.size, &e.offset, 0), 1) << error();
  EXPECT_EQ(e.block[14], 4);
  EXPECT_EQ(e.u32(32), 4u);
  EXPECT_EQ(e.offset, 56u);
  EXPECT_EQ(e.u32(40 + 4 * 2), 0x00AAAAAAu);
  EXPECT_EQ(e.block[56], 0x01);
  EXPECT_EQ(e.block[57], 0x23);
  EXPECT_EQ(gray2.type, IMF_GRAY2);  // the source is left alone
  imf_release_pixels(&gray2);

  imf_image unsupported = make(IMF_GRAYW8, 1, 1);
  EXPECT_EQ(dib_encode(ctx(), &unsupported, &e.block, &e.size, &e.offset, 0), 0);
  EXPECT_EQ(error(), "dib_encode: color type not supported");
  imf_release_pixels(&unsupported);
}

TEST_F(DibEncodeTest, MemoryOutputUsesTheAllocator) {
  bytes dib = info_header(2, 1, 4, 0, 2);
  append(dib, {0, 0, 255, 0, 0, 255, 0, 0});
  append(dib, {0x10, 0, 0, 0});
  ASSERT_EQ(decode_dib(dib), 1) << error();

  void* block = nullptr;
  void* bits = nullptr;
  size_t size = 0, offset = 0;
  imf_set_output_format(ctx(), IMF_FMT_DIB);
  imf_set_output_memory(ctx(), &block, &size, &offset, &bits);
  EXPECT_EQ(imf_write(ctx()), 0);
  EXPECT_EQ(error(), "Must set malloc callback function");

  static int calls;
  imf_set_malloc(ctx(), [](imgfilter*, void*, size_t n) {
    ++calls;
    return calloc(1, n);
  });
  ASSERT_EQ(imf_write(ctx()), 1) << error();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(offset, 48u);
  EXPECT_EQ(size, 52u);
  EXPECT_EQ(bits, static_cast<unsigned char*>(block) + 48);
  EXPECT_EQ(static_cast<unsigned char*>(block)[48], 0x10);

  // The encoded DIB decodes back to the same picture.
  imf_context_ptr again(imf_create(IMF_VERSION));
  imf_register(again.get(), imf_module_bmp);
  imf_set_input_format(again.get(), IMF_FMT_DIB);
  imf_set_input_memory(again.get(), block, size);
  ASSERT_EQ(imf_read(again.get()), 1) << again->error_text;
  EXPECT_EQ(again->image->palette[1].green, 255);
  EXPECT_EQ(again->image->data[0], 0x10);
  free(block);
}

TEST_F(DibEncodeTest, BmpFileHeaderCountsTheFileHeader) {
  imf_image image = make(IMF_RGB24, 1, 1);
  imf_free_image(ctx()->image);
  ctx()->image = imf_new_image();
  *ctx()->image = image;
  std::string out = path("o.bmp");
  imf_set_output_format(ctx(), IMF_FMT_BMP);
  imf_set_output_file(ctx(), out.c_str());
  ASSERT_EQ(imf_write(ctx()), 1) << error();
  FILE* f = fopen(out.c_str(), "rb");
  unsigned char head[14];
  ASSERT_EQ(fread(head, 1, 14, f), 14u);
  fclose(f);
  EXPECT_EQ(head[2], 14 + 44);
  EXPECT_EQ(head[10], 54);
}

}  // namespace
