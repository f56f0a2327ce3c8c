// Cairo device contexts; see dc_cairo.h.
#include "platform/dc_cairo.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "platform/png_encode.h"

CairoDc::CairoDc(cairo_surface_t* surface, int width, int height, int dpi)
    : DcState(width, height, dpi), surface_(surface), cr_(cairo_create(surface)) {
  // Shapes fall on whole pixels; only text is smoothed.
  cairo_set_antialias(cr_, CAIRO_ANTIALIAS_NONE);
}

CairoDc::~CairoDc() {
  cairo_destroy(cr_);
  cairo_surface_destroy(surface_);
}

std::unique_ptr<CairoDc> CairoDc::create_screen(int width, int height) {
  return create_memory(width, height);
}

std::unique_ptr<CairoDc> CairoDc::create_memory(int width, int height, int dpi) {
  if (width <= 0 || height <= 0 || dpi <= 0 || dpi > 10000) return nullptr;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  return std::unique_ptr<CairoDc>(new CairoDc(surface, width, height, dpi));
}

void CairoDc::set_source(DcColor color) {
  // Each new source is a pattern Cairo allocates; most fills repeat the
  // colour before them.
  if (source_is_color_ && source_color_ == color) return;
  source_is_color_ = true;
  source_color_ = color;
  cairo_set_source_rgb(cr_, (color & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0, ((color >> 16) & 0xFF) / 255.0);
}

void CairoDc::fill_pixels(const DcRect& rect, DcColor color) {
  // A whole-pixel rectangle of one opaque colour is written into the
  // pixels directly, as Cairo would paint it (the unused byte set), without
  // its path and compositing machinery: a table's page is thousands of
  // these. Cairo's own drawing is flushed first and told of the change.
  const DcRect r = dc_intersect(dc_intersect(rect, clip_), {0, 0, width_, height_});
  if (r.right <= r.left || r.bottom <= r.top) return;
  cairo_surface_flush(surface_);
  unsigned char* data = cairo_image_surface_get_data(surface_);
  const int stride = cairo_image_surface_get_stride(surface_);
  const uint32_t pixel = 0xFF000000u | ((color & 0xFF) << 16) | (color & 0xFF00) | ((color >> 16) & 0xFF);
  for (int y = r.top; y < r.bottom; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
    std::fill(row + r.left, row + r.right, pixel);
  }
  cairo_surface_mark_dirty_rectangle(surface_, r.left, r.top, r.right - r.left, r.bottom - r.top);
}

bool CairoDc::text_out(int x, int y, const char* text, int length) {
  if (!text || length < 0) return false;
  const DcFont& font = selected_font();
  DcSize extent;
  text_extent(text, length, &extent);
  if (bk_mode_ == DC_OPAQUE) fill_pixels({x, y, x + extent.cx, y + extent.cy}, bk_color_);
  if (!font.font) return true;
  const int baseline = y + font.ascent;
  std::vector<cairo_glyph_t> glyphs(static_cast<size_t>(length));
  int pen_x = x;
  for (int i = 0; i < length; ++i) {
    auto byte = static_cast<unsigned char>(text[i]);
    glyphs[i].index = font.glyph(byte);
    glyphs[i].x = pen_x;
    glyphs[i].y = baseline;
    pen_x += font.advance(byte);
  }
  set_source(text_color_);
  if (font.font != scaled_font_) {
    cairo_set_scaled_font(cr_, font.font);
    scaled_font_ = font.font;
  }
  cairo_show_glyphs(cr_, glyphs.data(), length);
  if (font.underline)
    fill_pixels({x, baseline + font.underline_offset, x + extent.cx,
                 baseline + font.underline_offset + font.underline_thickness},
                text_color_);
  return true;
}

bool CairoDc::line_to(int x, int y) {
  const DcObjectEntry* pen = line_squares(x, y, [&](int64_t px, int64_t py, int64_t w, int64_t h) {
    cairo_rectangle(cr_, static_cast<double>(px), static_cast<double>(py), static_cast<double>(w),
                    static_cast<double>(h));
  });
  if (!pen) return true;
  set_source(pen->color);
  cairo_fill(cr_);
  return true;
}

int CairoDc::stretch_dib(int dest_x, int dest_y, int dest_width, int dest_height, int src_x, int src_y, int src_width,
                         int src_height, const void* bits, size_t bits_size, const DcBitmapInfoHeader* info) {
  // Sample only the visible part of the box, dropping rows and columns when
  // shrinking and repeating them when growing.
  DibReader reader;
  DcRect visible;
  if (!open_stretch(dest_x, dest_y, dest_width, dest_height, src_x, src_y, src_width, src_height, bits, bits_size, info,
                    &reader, &visible))
    return 0;
  if (dc_empty(visible)) return src_height;
  const int vw = visible.right - visible.left, vh = visible.bottom - visible.top;
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, vw, vh);
  if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(image);
    return 0;
  }
  unsigned char* data = cairo_image_surface_get_data(image);
  const int stride = cairo_image_surface_get_stride(image);
  std::vector<int> columns(static_cast<size_t>(vw));
  for (int x = 0; x < vw; ++x)
    columns[x] = src_x + static_cast<int>(static_cast<int64_t>(visible.left - dest_x + x) * src_width / dest_width);
  for (int y = 0; y < vh; ++y) {
    int sy = src_y + static_cast<int>(static_cast<int64_t>(visible.top - dest_y + y) * src_height / dest_height);
    auto* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < vw; ++x) row[x] = reader.pixel(columns[x], sy);
  }
  cairo_surface_mark_dirty(image);
  cairo_set_source_surface(cr_, image, visible.left, visible.top);
  source_is_color_ = false;
  cairo_paint(cr_);
  cairo_surface_destroy(image);
  return src_height;
}

void CairoDc::clip_changed() {
  cairo_reset_clip(cr_);
  cairo_rectangle(cr_, clip_.left, clip_.top, static_cast<double>(clip_.right) - clip_.left,
                  static_cast<double>(clip_.bottom) - clip_.top);
  cairo_clip(cr_);
}

DcColor CairoDc::get_pixel(int x, int y) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return DC_INVALID_COLOR;
  cairo_surface_flush(surface_);
  const unsigned char* data = cairo_image_surface_get_data(surface_);
  uint32_t value;
  memcpy(&value, data + static_cast<size_t>(y) * stride() + 4 * static_cast<size_t>(x), 4);
  return dc_rgb((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
}

unsigned char* CairoDc::bits() {
  cairo_surface_flush(surface_);
  return cairo_image_surface_get_data(surface_);
}

int CairoDc::stride() const {
  return cairo_image_surface_get_stride(surface_);
}

bool CairoDc::encode_png(std::string* out) {
  if (!out || cairo_image_surface_get_format(surface_) != CAIRO_FORMAT_RGB24) return false;
  cairo_surface_flush(surface_);
  return png_encode_rgb24(cairo_image_surface_get_data(surface_), cairo_image_surface_get_width(surface_),
                          cairo_image_surface_get_height(surface_), cairo_image_surface_get_stride(surface_), out);
}

bool CairoDc::write_png(const char* path) {
  std::string png;
  if (!path || !encode_png(&png)) return false;
  FILE* file = std::fopen(path, "wb");
  if (!file) return false;
  const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  return std::fclose(file) == 0 && written;
}
