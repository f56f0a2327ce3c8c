// The render target: the one drawing surface of the layout engine, a record
// with a rectangle on a device context and sixteen drawing operations.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/dc.h"

struct imgfilter;

inline constexpr int32_t RT_VERSION = 100;
inline constexpr int RT_FACE_SIZE = 256;
// Character heights select_font asks for lie between 1 and this many pixels.
inline constexpr int RT_MAX_FONT_PIXELS = 1 << 15;

// Style flags of select_font.
enum : int {
  RT_STYLE_BOLD = 1,
  RT_STYLE_ITALIC = 2,
  RT_STYLE_UNDERLINE = 4,
  RT_STYLE_OUTLINE = 8,
};

// Colours are 0x00BBGGRR; RT_NO_COLOR (-1) means none where an operation
// says so.
using RtColor = uint32_t;
inline constexpr RtColor RT_NO_COLOR = 0xFFFFFFFFu;

struct RtRect {
  int32_t left, top, right, bottom;  // inclusive
};

struct RtSize {
  int32_t width, height;
};

// Private device state of one target.
struct RenderTargetGdi {
  int32_t forced_dpi;       // 0: the device's resolution
  DcObject font;            // font the target selected, or 0
  char face[RT_FACE_SIZE];  // last font request
  int32_t size;             // its points; 0 forces the next select_font to create
  int32_t style;
  RtColor text_color;
  RtColor outline_color;
  DcObject saved_pen;  // pen selected before the first set_pen
  DeviceContext* dc;   // not owned

  // Ownership bookkeeping. A target deletes only objects it created; on
  // destroy it selects back what was selected when it was made, so the
  // parent of a child finds its own font and pen in the context again.
  bool owns_font;       // font was created by this target
  bool font_failed;     // the remembered request could not be created
  DcObject pen;         // pen created by this target and selected, or 0
  DcObject entry_font;  // font selected in the context when the target was made
};

struct RenderTarget {
  int32_t version;
  int32_t left, top, right, bottom;
  RenderTargetGdi* gdi;

  RenderTarget* (*create_subtarget)(RenderTarget* t, int x0, int y0, int x1, int y1);
  void (*destroy)(RenderTarget* t);
  int (*get_resolution)(RenderTarget* t);
  int (*set_resolution)(RenderTarget* t, int dpi);
  int (*select_font)(RenderTarget* t, const char* face, int points, int style, RtColor color, RtColor second_color);
  int (*font_height)(RenderTarget* t);
  int (*font_ascent)(RenderTarget* t);
  int (*font_descent)(RenderTarget* t);
  int (*draw_text)(RenderTarget* t, int x, int y, const char* text, int length, RtSize* size);
  int (*measure_text)(RenderTarget* t, const char* text, int length, RtSize* size);
  int (*set_pen)(RenderTarget* t, RtColor color, int width);
  int (*draw_line)(RenderTarget* t, int x0, int y0, int x1, int y1);
  int (*draw_rect)(RenderTarget* t, int x0, int y0, int x1, int y1);
  int (*fill_rect)(RenderTarget* t, int x0, int y0, int x1, int y1, RtColor color);
  int (*draw_bevel_rect)(RenderTarget* t, int x0, int y0, int x1, int y1, RtColor first, RtColor second);
  int (*draw_image)(RenderTarget* t, imgfilter* image, int x, int y, int width, int height);
};

// A target over the inclusive rectangle of dc; null for an inverted
// rectangle, a version other than RT_VERSION or lack of memory.
RenderTarget* rt_create(DeviceContext* dc, const RtRect& rect, int32_t version);

// Pixels across and down; 0 for a null target.
int page_width(const RenderTarget* t);
int page_height(const RenderTarget* t);

// Character height in pixels for points at dpi, rounded to the nearest.
int rt_points_to_pixels(int points, int dpi);

// The colours and background mode of the context a target draws on.
struct RtColors {
  DcColor text_color = 0;
  DcColor bk_color = 0;
  int bk_mode = 0;
};

// The drawing state of a target: its context's colours and its own font
// request, as a measurement may leave them.
struct RtDrawingState {
  RtColors colors;
  DcObject font = 0;  // the font the target has selected
  char face[RT_FACE_SIZE] = {};
  int32_t size = 0;
  int32_t style = 0;
  RtColor text_color = 0;
  RtColor outline_color = 0;
};

RtColors rt_save_colors(const RenderTarget* t);
// Sets the colours that differ from the saved ones.
void rt_restore_colors(RenderTarget* t, const RtColors& colors);
RtDrawingState rt_save_state(const RenderTarget* t);
// Puts the colours back, and with with_font the font request too.
void rt_restore_state(RenderTarget* t, const RtDrawingState& state, bool with_font);
// Whether the target holds another font in b than it did in a.
bool rt_font_changed(const RtDrawingState& a, const RtDrawingState& b);
// Stands for the context the target draws on, where only its identity
// matters (two targets on one context answer the same).
const void* rt_surface(const RenderTarget* t);

// Owns a target and destroys it through its own operation.
struct RenderTargetDeleter {
  void operator()(RenderTarget* t) const {
    if (t) t->destroy(t);
  }
};
using RenderTargetPtr = std::unique_ptr<RenderTarget, RenderTargetDeleter>;
