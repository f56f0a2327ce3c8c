// The library context: format lookups, the read and write sequences with
// their error texts, and the file helpers.
#include <cstring>

#include "image/imf_fileio.h"
#include "image/imf_ops.h"
#include "image_fixtures.h"

namespace {

using namespace imgtest;

class ContextTest : public ImageTest {};

// A 1x1 24-bit BMP.
bytes tiny_bmp() {
  bytes dib = info_header(1, 1, 24);
  append(dib, {10, 20, 30, 0});
  return bmp_file(dib, 54);
}

TEST(Formats, ExtensionAndMimeLookups) {
  EXPECT_EQ(imf_format_from_extension("dir.x/pic.PNG"), IMF_FMT_PNG);
  EXPECT_EQ(imf_format_from_extension("a\\b.JPG"), IMF_FMT_JPEG);
  EXPECT_EQ(imf_format_from_extension("photo.jpeg"), 0);
  EXPECT_EQ(imf_format_from_extension("pic.tiff"), IMF_FMT_TIFF);
  EXPECT_EQ(imf_format_from_extension("bmp"), IMF_FMT_BMP);  // whole name when no dot
  EXPECT_EQ(imf_format_from_extension("dir.png/file"), 0);   // dot before the last '/'
  EXPECT_EQ(imf_format_from_mime("IMAGE/X-BMP"), IMF_FMT_BMP);
  EXPECT_EQ(imf_format_from_mime("application/x-pcl"), IMF_FMT_PCL);
  EXPECT_EQ(imf_format_from_mime("text/html"), 0);
  EXPECT_STREQ(imf_format_mime(IMF_FMT_BMP), "image/x-bmp");
  EXPECT_STREQ(imf_format_mime(IMF_FMT_DIB), "image/x-unknown");
  EXPECT_STREQ(imf_format_extension(IMF_FMT_TIFF), "tif");
  EXPECT_STREQ(imf_format_extension(IMF_FMT_RAW), "img");
  char version[16];
  imf_version_string(version, sizeof version);
  EXPECT_STREQ(version, "1.5.4");
}

TEST(Formats, StrideFollowsColourType) {
  EXPECT_EQ(imf_row_bytes(IMF_PAL4, 3), 2);
  EXPECT_EQ(imf_row_bytes(IMF_GRAY1, 10), 2);
  EXPECT_EQ(imf_row_bytes(IMF_RGB24, 5), 15);
  EXPECT_EQ(imf_bits_per_pixel(IMF_GRAYW16), 16);
  EXPECT_EQ(imf_bits_per_pixel(99), 0);
}

TEST_F(ContextTest, ReadFailuresNameTheirCause) {
  std::string jpeg = write_file("photo.jpeg", {0xFF, 0xD8});
  EXPECT_EQ(read(jpeg), 0);
  EXPECT_EQ(error(), "Input format not set");

  EXPECT_EQ(read(write_file("scan.tif", {'I', 'I'})), 0);
  EXPECT_EQ(error(), "TIFF module not registered");

  EXPECT_EQ(read(path("missing.png")), 0);
  EXPECT_EQ(ctx()->error_code, IMF_ERR_READ_INPUT);
  EXPECT_EQ(error(), "Can't read input file");

  EXPECT_EQ(read(write_file("anim.gif", {'G', 'I', 'F'})), 0);
  EXPECT_EQ(error(), "Unsupported input format (12)");

  imf_set_input_format(ctx(), 19);
  imf_set_input_file(ctx(), jpeg.c_str());
  EXPECT_EQ(imf_read(ctx()), 0);
  EXPECT_EQ(error(), "Unknown input format (19)");

  imf_context_ptr fresh(imf_create(IMF_VERSION));
  imf_set_input_format(fresh.get(), IMF_FMT_PNG);
  EXPECT_EQ(imf_read(fresh.get()), 0);
  EXPECT_STREQ(fresh->error_text, "Input file not set");
}

TEST_F(ContextTest, UpperCaseJpgReadsAndRereadReopensTheFile) {
  bytes gray(4 * 4, 100);
  std::string file = path("PHOTO.JPG");
  jpeg_options o;
  o.space = JCS_GRAYSCALE;
  o.components = 1;
  write_jpeg(file, 4, 4, o, gray);
  ASSERT_EQ(read(file), 1) << error();
  ASSERT_EQ(imf_read(ctx()), 1) << error();
  EXPECT_EQ(ctx()->pages_read, 1);
  EXPECT_EQ(ctx()->input_stream, nullptr);
  int width = 0, height = 0;
  imf_get_size(ctx(), &width, &height);
  EXPECT_EQ(width, 4);
  EXPECT_EQ(height, 4);
}

TEST_F(ContextTest, WriteFailuresNameTheirCause) {
  EXPECT_EQ(imf_write(ctx()), 0);
  EXPECT_EQ(error(), "Output format not set");
  imf_set_output_format(ctx(), IMF_FMT_BMP);
  EXPECT_EQ(imf_write(ctx()), 0);
  EXPECT_EQ(error(), "Output IO type not set");
  imf_set_output_file(ctx(), path("out.bmp").c_str());
  EXPECT_EQ(imf_write(ctx()), 0);
  EXPECT_EQ(error(), "No image to write (read failed?)");

  ASSERT_EQ(read_bytes("in.bmp", tiny_bmp()), 1) << error();
  imf_set_output_file(ctx(), path("no/such/dir/out.bmp").c_str());
  EXPECT_EQ(imf_write(ctx()), 0);
  EXPECT_EQ(ctx()->error_code, IMF_ERR_WRITE_OUTPUT);
  EXPECT_EQ(error(), "Can't write output file");

  imf_set_output_file(ctx(), path("out.gif").c_str());
  imf_set_output_format(ctx(), IMF_FMT_GIF);
  EXPECT_EQ(imf_write(ctx()), 0);
  EXPECT_EQ(error(), "Unsupported output format (12)");
  imf_set_output_format(ctx(), 30);
  EXPECT_EQ(imf_write(ctx()), 0);
  EXPECT_EQ(error(), "Unknown output format (30)");

  // A second page for a single-page format is refused.
  FILE* stream = fopen(path("two.bmp").c_str(), "wb");
  imf_set_output_stream(ctx(), stream);
  imf_set_output_format(ctx(), IMF_FMT_BMP);
  ASSERT_EQ(imf_open_output(ctx()), 1);
  EXPECT_EQ(imf_write_page(ctx()), 1);
  EXPECT_EQ(imf_write_page(ctx()), 0);
  EXPECT_EQ(error(), "Multiple pages are not supported for this file format");
  fclose(stream);
}

TEST_F(ContextTest, SameFormatRoundTripsThroughAFile) {
  ASSERT_EQ(read_bytes("in.bmp", tiny_bmp()), 1) << error();
  std::string out = path("copy.bmp");
  imf_set_output_format(ctx(), IMF_FMT_SAME);
  imf_set_output_file(ctx(), out.c_str());
  ASSERT_EQ(imf_write(ctx()), 1) << error();
  ASSERT_EQ(read(out), 1) << error();
  ASSERT_EQ(img()->type, IMF_RGB24);
  EXPECT_EQ(img()->data[0], 30);
  EXPECT_EQ(img()->data[2], 10);
}

TEST(ErrorText, IsCutAt999Characters) {
  imf_context_ptr context(imf_create(IMF_VERSION));
  std::string long_text(1500, 'x');
  imf_error(context.get(), "%s", long_text.c_str());
  EXPECT_EQ(strlen(context->error_text), 999u);
  EXPECT_EQ(context->error_code, 1);
}

TEST(Warnings, TrailingLineEndsAreStripped) {
  imf_context_ptr context(imf_create(IMF_VERSION));
  static std::string seen;
  static int level;
  imf_set_warning(context.get(), [](imgfilter*, int l, const char* text) {
    level = l;
    seen = text;
  });
  imf_warning(context.get(), 7, "careful %d\r\n\n", 3);
  EXPECT_EQ(seen, "careful 3");
  EXPECT_EQ(level, 7);
}

TEST_F(ContextTest, File2MemoryBlocksAndLimits) {
  FILE* empty = fopen(write_file("empty", {}).c_str(), "rb");
  unsigned char* block = nullptr;
  size_t length = 99;
  ASSERT_EQ(file2memory(ctx(), empty, &block, &length), 1);
  EXPECT_NE(block, nullptr);
  EXPECT_EQ(length, 0u);
  free(block);
  fclose(empty);

  // A sparse file one byte over the limit is refused without reading it.
  std::string big = path("big");
  FILE* f = fopen(big.c_str(), "wb");
  ASSERT_EQ(ftruncate(fileno(f), IMF_MAX_FILE_BYTES + 1), 0);
  fclose(f);
  f = fopen(big.c_str(), "rb");
  block = nullptr;
  EXPECT_EQ(file2memory(ctx(), f, &block, &length), 0);
  EXPECT_EQ(error(), "file2memory: File too large");
  EXPECT_EQ(block, nullptr);
  fclose(f);

  EXPECT_EQ(file2memory(ctx(), nullptr, &block, &length), 0);
  EXPECT_EQ(error(), "file2memory: Can't read file");

  // Reading from a later position gets fewer bytes than the file's size.
  f = fopen(write_file("four", {1, 2, 3, 4}).c_str(), "rb");
  fgetc(f);
  EXPECT_EQ(file2memory(ctx(), f, &block, &length), 0);
  EXPECT_EQ(error(), "file2memory: Read failed (3/4)");
  fclose(f);
}

TEST(ByteOrder, HelpersFollowTheContextFlag) {
  imf_context_ptr context(imf_create(IMF_VERSION));
  const unsigned char a[] = {0x34, 0x12}, b[] = {0xFE, 0xFF};
  EXPECT_EQ(imf_getu16(context.get(), a), 0x1234u);
  EXPECT_EQ(imf_get16(context.get(), b), -2);
  unsigned char out[4];
  imf_put32(context.get(), out, 0x11223344);
  EXPECT_EQ(out[0], 0x44);
  context->big_endian = 1;
  EXPECT_EQ(imf_getu16(context.get(), a), 0x3412u);
  EXPECT_EQ(imf_get32(context.get(), out), 0x44332211u);
  imf_put16(context.get(), out, 0xABCD);
  EXPECT_EQ(out[0], 0xAB);
}

TEST_F(ContextTest, StreamReadersReportShortInput) {
  FILE* f = fopen(write_file("three", {0x01, 0x02, 0x03}).c_str(), "rb");
  imf_set_input_stream(ctx(), f);
  EXPECT_EQ(imf_read_uint(ctx(), 2), 0x0201u);
  unsigned char buffer[4] = {9, 9, 9, 9};
  EXPECT_EQ(imf_read_bytes(ctx(), buffer, 4), 1u);
  EXPECT_EQ(error(), "Unexpected end of file (expected 4,got 1)");
  EXPECT_EQ(buffer[0], 0);  // zero-filled after a short read
  EXPECT_EQ(ctx()->bytes_read, 3);
  EXPECT_EQ(imf_read_int(ctx(), 3), 0);
  EXPECT_EQ(error(), "Unexpected end of file (expected 3,got 0)");
  fclose(f);
}

}  // namespace
