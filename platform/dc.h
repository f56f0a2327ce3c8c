// The device context the render targets draw on: a small GDI-like surface
// with font, pen and brush objects, text, lines, fills, stretched bitmaps and
// clipping. Implementations: Cairo image surfaces (dc_cairo.h), PDF sheets
// (dc_pdf.h) and a recorder for tests (dc_recording.h).
#pragma once

#include <cstddef>
#include <cstdint>

// Colours are 0x00BBGGRR (red in the low byte).
using DcColor = uint32_t;
inline constexpr DcColor DC_INVALID_COLOR = 0xFFFFFFFFu;

// Handle of a font, pen or brush object of one device context; 0 is none.
using DcObject = uint32_t;

enum class DcObjectKind { None, Font, Pen, Brush };

// Objects every context has; they are never deleted.
enum class DcStockObject { SystemFont, BlackPen, WhiteBrush };

enum : int {
  DC_TRANSPARENT = 1,
  DC_OPAQUE = 2,
};

// Stretch modes: DC_COLORONCOLOR drops rows and columns when shrinking.
enum : int {
  DC_BLACKONWHITE = 1,
  DC_WHITEONBLACK = 2,
  DC_COLORONCOLOR = 3,
};

// Resolutions of the screen-like surfaces and of printed sheets.
inline constexpr int DC_SCREEN_DPI = 96;
inline constexpr int DC_PRINTER_DPI = 600;

inline constexpr int DC_FACE_SIZE = 32;  // face name buffer, NUL included
inline constexpr int DC_WEIGHT_NORMAL = 400;
inline constexpr int DC_WEIGHT_BOLD = 700;

// A font request. height < 0 asks for that many pixels of character height
// (the em, without internal leading); height > 0 for that cell height
// (ascent + descent); 0 for the default size.
struct DcFontRequest {
  char face[DC_FACE_SIZE];
  int height;
  int weight;  // 0 means DC_WEIGHT_NORMAL
  bool italic;
  bool underline;
};

struct DcTextMetrics {
  int height;  // ascent + descent
  int ascent;
  int descent;
};

struct DcSize {
  int cx, cy;
};

// Right and bottom are exclusive, as in GDI.
struct DcRect {
  int left, top, right, bottom;
};

// The header of a packed device-independent bitmap (40 bytes, little-endian
// fields), followed in memory by its colour table.
struct DcBitmapInfoHeader {
  uint32_t size;
  int32_t width;
  int32_t height;  // positive: bottom row first; negative: top row first
  uint16_t planes;
  uint16_t bit_count;    // 1, 4, 8, 24 or 32
  uint32_t compression;  // only 0 (uncompressed)
  uint32_t size_image;
  int32_t x_pels_per_meter;
  int32_t y_pels_per_meter;
  uint32_t clr_used;
  uint32_t clr_important;
};
static_assert(sizeof(DcBitmapInfoHeader) == 40);

class DeviceContext {
 public:
  virtual ~DeviceContext() = default;

  // Pixels per logical inch along the width and the height.
  virtual int logical_dpi_x() const = 0;
  virtual int logical_dpi_y() const = 0;
  // Size of the drawable area in pixels.
  virtual int device_width() const = 0;
  virtual int device_height() const = 0;

  // Objects. create_* answer 0 on failure. select_object answers the object
  // of the same kind that was selected before, or 0 when the handle is not a
  // live object. delete_object refuses (false) an object that is selected.
  virtual DcObject create_font(const DcFontRequest& wanted) = 0;
  virtual DcObject create_pen(int width, DcColor color) = 0;
  virtual DcObject create_solid_brush(DcColor color) = 0;
  virtual DcObject stock_object(DcStockObject which) = 0;
  virtual DcObject select_object(DcObject object) = 0;
  virtual bool delete_object(DcObject object) = 0;

  // Text in the selected font: 8-bit text, one byte one character.
  virtual bool text_metrics(DcTextMetrics* metrics) = 0;
  virtual bool text_out(int x, int y, const char* text, int length) = 0;
  virtual bool text_extent(const char* text, int length, DcSize* size) = 0;
  // Setters answer the previous value.
  virtual DcColor set_text_color(DcColor color) = 0;
  virtual DcColor set_bk_color(DcColor color) = 0;
  virtual int set_bk_mode(int mode) = 0;
  virtual DcColor get_text_color() const = 0;
  virtual DcColor get_bk_color() const = 0;
  virtual int get_bk_mode() const = 0;

  // Lines with the selected pen; line_to does not paint its end point.
  virtual bool move_to(int x, int y) = 0;
  virtual bool line_to(int x, int y) = 0;
  // Fills left..right-1 by top..bottom-1.
  virtual bool fill_rect(const DcRect& rect, DcObject brush) = 0;

  virtual int set_stretch_mode(int mode) = 0;
  // Copies the source rectangle of a packed bitmap into the destination box.
  // bits_size is the number of bytes readable at bits. Answers the number of
  // rows copied, 0 on failure or for an empty box.
  virtual int stretch_dib(int dest_x, int dest_y, int dest_width, int dest_height, int src_x, int src_y, int src_width,
                          int src_height, const void* bits, size_t bits_size, const DcBitmapInfoHeader* info) = 0;

  // Clipping: save_dc answers a level for restore_dc (0 on failure); the clip
  // region is what is saved. intersect_clip_rect narrows the clip region.
  virtual int save_dc() = 0;
  virtual bool restore_dc(int level) = 0;
  virtual bool intersect_clip_rect(const DcRect& rect) = 0;

  // 0x00BBGGRR of one pixel, DC_INVALID_COLOR outside or on surfaces without
  // pixels.
  virtual DcColor get_pixel(int x, int y) = 0;

  // Page hooks of paged surfaces; other surfaces accept and ignore them.
  virtual bool start_page() { return true; }
  virtual bool end_page() { return true; }
};

inline constexpr DcColor dc_rgb(int red, int green, int blue) {
  return static_cast<DcColor>((red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16));
}
