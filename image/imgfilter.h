// The image library's public model: the imgfilter context, the decoded image
// record, colour types, formats and the read/write entry points.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

// Version of this library: 1.5.4 packed as major*1000000 + minor*10000 +
// patch*100. Callers pass the version of the header they were built with.
inline constexpr int IMF_VERSION = 1050401;

// Colour types. The palette types (20-23) are the only ones with a palette.
enum : int {
  IMF_GRAY1 = 11,
  IMF_GRAY2 = 12,
  IMF_GRAY4 = 13,
  IMF_GRAY8 = 14,
  IMF_GRAY16 = 15,  // 16-bit samples in the machine's byte order
  IMF_PAL8 = 20,
  IMF_PAL1 = 21,
  IMF_PAL2 = 22,
  IMF_PAL4 = 23,
  IMF_RGB24 = 31,   // red, green, blue bytes
  IMF_GRAYW8 = 41,  // gray with a value window
  IMF_GRAYW16 = 42,
};

// Formats. Values index the context's decoder and encoder slots.
enum : int {
  IMF_FMT_SAME = 1,  // output only: the input's format
  IMF_FMT_RAW = 10,
  IMF_FMT_PNG = 11,
  IMF_FMT_GIF = 12,
  IMF_FMT_TIFF = 13,
  IMF_FMT_JPEG = 14,
  IMF_FMT_BMP = 15,
  IMF_FMT_DICOM = 16,
  IMF_FMT_JP2 = 17,
  IMF_FMT_DIB = 20,  // device-independent bitmap in memory
  IMF_FMT_GD = 22,
  IMF_FMT_GD2 = 23,
  IMF_FMT_PCL = 24,
  IMF_FMT_PDF = 25,
};
inline constexpr int IMF_FMT_SLOTS = 26;

// Kinds of input and output.
enum : int {
  IMF_IO_STREAM = 1,
  IMF_IO_FILE = 2,
  IMF_IO_MEMORY = 3,
};

// Error codes kept in the context besides the general 1.
enum : int {
  IMF_ERR_GENERAL = 1,
  IMF_ERR_READ_INPUT = 10,
  IMF_ERR_WRITE_OUTPUT = 11,
};

// Upper bound on the pixel bytes of one decoded image; larger headers are
// refused before anything is allocated.
inline constexpr uint64_t IMF_MAX_PIXEL_BYTES = 256ull * 1024 * 1024;

inline constexpr size_t IMF_ERROR_TEXT_SIZE = 1024;
inline constexpr int IMF_ERROR_TEXT_MAX = 999;
inline constexpr int IMF_PALETTE_SIZE = 256;

// One palette entry; `reserved` is ignored.
struct imf_color {
  unsigned char red, green, blue, reserved;
};

// A decoded image. Created zero-filled by the library; data and palette are
// malloc'ed and released by imf_free_image.
struct imf_image {
  int32_t type;
  int32_t bpp;
  int32_t palette_count;
  imf_color* palette;  // IMF_PALETTE_SIZE entries, or null without a palette
  int32_t width, height;
  int32_t orig_type;     // type in the file before any reduction
  int32_t src_bits;      // bits per pixel in the file
  int32_t src_channels;  // samples per pixel in the file
  int32_t stride;        // bytes per row, rows unpadded
  unsigned char* data;   // height rows of stride bytes, top row first
  uint32_t data_size;
  int32_t density_unit;  // 0 unknown, 1 aspect ratio only, 2 pixels per metre
  double x_density, y_density;
  int has_window;
  double window_center, window_width;
  int32_t min_value, max_value;
  int has_gamma;
  double gamma;
};

struct imgfilter;

// A codec function: decodes into or encodes from the image.
using imf_codec_fn = int (*)(imgfilter*, imf_image*);
// Open/close hooks of formats whose modules manage their own files.
using imf_hook_fn = int (*)(imgfilter*);
// Allocator for memory output; must answer zero-filled memory or null.
using imf_malloc_fn = void* (*)(imgfilter*, void* user, size_t size);
// Receives non-fatal codec messages.
using imf_warning_fn = void (*)(imgfilter*, int level, const char* text);
// A module registration function: fills the context's slots.
using imf_module_fn = int (*)(imgfilter*, void* user);
// Writes a credit text (library name and version) into buffer.
using imf_credit_fn = void (*)(char* buffer, size_t size);

// Library context; one per use, zero-filled at creation.
struct imgfilter {
  int version;
  int error_code;
  char* error_text;  // IMF_ERROR_TEXT_SIZE bytes
  int big_endian;    // byte order of the integer helpers

  int input_iotype;
  char* input_file;
  FILE* input_stream;
  const unsigned char* input_memory;  // IMF_IO_MEMORY: header, colours, maybe bits
  size_t input_memory_length;
  const unsigned char* input_bits;  // null when the bits follow the colours
  size_t input_bits_length;
  long bytes_read;
  int input_opened;  // input_stream was opened here from input_file

  int output_iotype;
  char* output_file;
  FILE* output_stream;
  void** output_memory;
  size_t* output_memory_size;
  size_t* output_bits_offset;
  void** output_bits;
  int output_opened;

  int input_format;
  int output_format;
  imf_image* image;
  int pages_read;
  int pages_written;

  imf_malloc_fn malloc_fn;
  void* malloc_user;
  imf_warning_fn warning_fn;

  int gray_depth;        // >0 and <=8: 16-bit gray PNG reduced to 8 bits
  int jpeg_gray_window;  // gray JPEG decoded as IMF_GRAYW8
  int jpeg_quality;      // 0 means the encoder's default
  int jpeg_progressive;

  imf_codec_fn decoders[IMF_FMT_SLOTS];
  imf_codec_fn encoders[IMF_FMT_SLOTS];
  imf_codec_fn jpeg12_decoder;
  imf_codec_fn jpeg12_encoder;
  imf_hook_fn open_input_hooks[IMF_FMT_SLOTS];
  imf_hook_fn close_input_hooks[IMF_FMT_SLOTS];
  imf_hook_fn open_output_hooks[IMF_FMT_SLOTS];
  imf_hook_fn close_output_hooks[IMF_FMT_SLOTS];
  imf_credit_fn credits[IMF_FMT_SLOTS][2];
};

// Context lifetime. imf_create answers null when memory is short.
imgfilter* imf_create(int version);
void imf_free(imgfilter* context);  // null allowed

struct imf_context_deleter {
  void operator()(imgfilter* context) const { imf_free(context); }
};
using imf_context_ptr = std::unique_ptr<imgfilter, imf_context_deleter>;

// "major.minor.patch" of this library.
void imf_version_string(char* buffer, size_t size);

// Calls the module function, which fills its formats' slots.
int imf_register(imgfilter* context, imf_module_fn module, void* user = nullptr);

// Setters answer the previous value where there is one.
void imf_set_input_file(imgfilter* context, const char* name);
void imf_set_input_stream(imgfilter* context, FILE* stream);
void imf_set_input_memory(imgfilter* context, const void* block, size_t length, const void* bits = nullptr,
                          size_t bits_length = 0);
int imf_set_input_format(imgfilter* context, int format);
int imf_set_output_format(imgfilter* context, int format);
void imf_set_output_file(imgfilter* context, const char* name);
void imf_set_output_stream(imgfilter* context, FILE* stream);
// Memory output: block is required, the other locations may be null.
void imf_set_output_memory(imgfilter* context, void** block, size_t* size, size_t* bits_offset, void** bits);
imf_malloc_fn imf_set_malloc(imgfilter* context, imf_malloc_fn allocator, void* user = nullptr);
imf_warning_fn imf_set_warning(imgfilter* context, imf_warning_fn callback);

// 1 on success, 0 with error_code and error_text set.
int imf_read(imgfilter* context);
int imf_write(imgfilter* context);

// The read and write steps one by one, for formats with several pages.
int imf_open_input(imgfilter* context);
int imf_read_page(imgfilter* context);
void imf_close_input(imgfilter* context);
int imf_open_output(imgfilter* context);
int imf_write_page(imgfilter* context);
void imf_close_output(imgfilter* context);

// Size of the current image, which must exist; either location may be null.
void imf_get_size(imgfilter* context, int* width, int* height);

// Records an error (code 1, or the given code) with a printf-style text.
void imf_error(imgfilter* context, const char* format, ...) __attribute__((format(printf, 2, 3)));
void imf_error_code(imgfilter* context, int code, const char* format, ...) __attribute__((format(printf, 3, 4)));
// Hands a message to the warning callback, when one is installed.
void imf_warning(imgfilter* context, int level, const char* format, ...) __attribute__((format(printf, 3, 4)));

// Image records.
imf_image* imf_new_image();
void imf_free_image(imf_image* image);      // data, palette and record; null allowed
void imf_release_pixels(imf_image* image);  // data and palette only
int imf_bits_per_pixel(int type);           // 0 for a value that is no colour type
int imf_is_palette_type(int type);
// Row bytes for width pixels of the type, or -1 when it does not fit.
int64_t imf_row_bytes(int type, int64_t width);
// Sets bpp and stride from type and width and allocates zero-filled rows.
// Refuses, with the codec's out-of-memory text, images whose pixel bytes do
// not fit data_size or exceed IMF_MAX_PIXEL_BYTES.
int imf_alloc_pixels(imgfilter* context, imf_image* image, const char* out_of_memory_text);
// Allocates a zero-filled 256-entry palette (count unchanged).
int imf_alloc_palette(imf_image* image);

// Formats, extensions and MIME types; unknown names answer 0.
int imf_format_from_extension(const char* name);
int imf_format_from_mime(const char* type);
const char* imf_format_mime(int format);
const char* imf_format_extension(int format);

// Codec modules.
int imf_module_bmp(imgfilter* context, void* user = nullptr);
int imf_module_png(imgfilter* context, void* user = nullptr);
int imf_module_jpeg(imgfilter* context, void* user = nullptr);
