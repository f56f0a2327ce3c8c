// Cairo device contexts; see dc_cairo.h.
#include "platform/dc_cairo.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "platform/dib_reader.h"
#include "platform/png_encode.h"

namespace {

DcRect intersect(const DcRect& a, const DcRect& b) {
  DcRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

}  // namespace

CairoDc::CairoDc(cairo_surface_t* surface, int width, int height, int dpi)
    : surface_(surface),
      cr_(cairo_create(surface)),
      width_(width),
      height_(height),
      dpi_(dpi),
      // The stock font is realised when text first uses it: most drawing
      // selects its own fonts, and matching one costs milliseconds.
      objects_(dc_stock_font_request(), nullptr),
      fonts_(dpi),
      clip_{0, 0, width, height} {
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

DcObject CairoDc::create_font(const DcFontRequest& wanted) {
  const DcFontRequest stored = dc_stored_request(wanted);
  std::shared_ptr<const DcFont> font = fonts_.realise(stored);
  if (!font) return 0;
  ++fonts_created_;
  return objects_.add_font(stored, std::move(font));
}

DcObject CairoDc::create_pen(int width, DcColor color) {
  return objects_.add_pen(std::max(width, 1), color & 0xFFFFFF);
}

DcObject CairoDc::create_solid_brush(DcColor color) {
  return objects_.add_brush(color & 0xFFFFFF);
}

const DcFont& CairoDc::selected_font() {
  const DcObjectEntry& entry = objects_.selected_entry(DcObjectKind::Font);
  if (!entry.font_data) objects_.set_font_data(objects_.selected(DcObjectKind::Font), dc_stock_font(dpi_));
  return static_cast<const DcFont&>(*entry.font_data);
}

bool CairoDc::text_metrics(DcTextMetrics* metrics) {
  const DcFont& font = selected_font();
  metrics->ascent = font.ascent;
  metrics->descent = font.descent;
  metrics->height = font.ascent + font.descent;
  return true;
}

bool CairoDc::text_extent(const char* text, int length, DcSize* size) {
  if (!text || length < 0 || !size) return false;
  const DcFont& font = selected_font();
  size->cx = font.width(text, length);
  size->cy = font.ascent + font.descent;
  return true;
}

void CairoDc::set_source(DcColor color) {
  // Each new source is a pattern Cairo allocates; most fills repeat the
  // colour before them.
  if (source_is_color_ && source_color_ == color) return;
  source_is_color_ = true;
  source_color_ = color;
  cairo_set_source_rgb(cr_, (color & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0,
                       ((color >> 16) & 0xFF) / 255.0);
}

void CairoDc::fill_pixels(const DcRect& rect, DcColor color) {
  if (rect.right <= rect.left || rect.bottom <= rect.top) return;
  set_source(color);
  cairo_rectangle(cr_, rect.left, rect.top, static_cast<double>(rect.right) - rect.left,
                  static_cast<double>(rect.bottom) - rect.top);
  cairo_fill(cr_);
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

DcColor CairoDc::set_text_color(DcColor color) { return std::exchange(text_color_, color & 0xFFFFFF); }
DcColor CairoDc::set_bk_color(DcColor color) { return std::exchange(bk_color_, color & 0xFFFFFF); }

int CairoDc::set_bk_mode(int mode) {
  if (mode != DC_TRANSPARENT && mode != DC_OPAQUE) return 0;
  return std::exchange(bk_mode_, mode);
}

bool CairoDc::move_to(int x, int y) {
  current_x_ = x;
  current_y_ = y;
  return true;
}

bool CairoDc::line_to(int x, int y) {
  const DcObjectEntry& pen = objects_.selected_entry(DcObjectKind::Pen);
  const int width = std::max(pen.pen_width, 1);
  const int before = (width - 1) / 2;
  const int x0 = current_x_, y0 = current_y_;
  current_x_ = x;
  current_y_ = y;
  if (x0 == x && y0 == y) return true;
  set_source(pen.color);
  auto square = [&](int px, int py, int w, int h) {
    cairo_rectangle(cr_, px - before, py - before, w + width - 1, h + width - 1);
  };
  if (y0 == y) {
    // The end point is not painted: x0 .. x-1 going right, x+1 .. x0 going left.
    int left = x > x0 ? x0 : x + 1;
    square(left, y, std::abs(x - x0), 1);
  } else if (x0 == x) {
    int top = y > y0 ? y0 : y + 1;
    square(x, top, 1, std::abs(y - y0));
  } else {
    // Bresenham over the major axis, stopping before the end point.
    const long dx = std::abs(static_cast<long>(x) - x0), dy = std::abs(static_cast<long>(y) - y0);
    const int sx = x > x0 ? 1 : -1, sy = y > y0 ? 1 : -1;
    long err = dx - dy;
    int px = x0, py = y0;
    while (px != x || py != y) {
      square(px, py, 1, 1);
      long e2 = 2 * err;
      if (e2 > -dy) {
        err -= dy;
        px += sx;
      }
      if (e2 < dx) {
        err += dx;
        py += sy;
      }
    }
  }
  cairo_fill(cr_);
  return true;
}

bool CairoDc::fill_rect(const DcRect& rect, DcObject brush) {
  const DcObjectEntry* entry = objects_.find(brush);
  if (!entry || entry->kind != DcObjectKind::Brush) return false;
  fill_pixels(rect, entry->color);
  return true;
}

int CairoDc::set_stretch_mode(int mode) {
  if (mode < DC_BLACKONWHITE || mode > DC_COLORONCOLOR) return 0;
  return std::exchange(stretch_mode_, mode);
}

int CairoDc::stretch_dib(int dest_x, int dest_y, int dest_width, int dest_height, int src_x,
                         int src_y, int src_width, int src_height, const void* bits,
                         size_t bits_size, const DcBitmapInfoHeader* info) {
  DibReader reader;
  if (dest_width <= 0 || dest_height <= 0 ||
      !dib_reader_open(bits, bits_size, info, src_x, src_y, src_width, src_height, &reader))
    return 0;

  // Sample only the visible part of the box, dropping rows and columns when
  // shrinking and repeating them when growing.
  const DcRect visible = intersect({dest_x, dest_y, dest_x + dest_width, dest_y + dest_height}, clip_);
  if (visible.right <= visible.left || visible.bottom <= visible.top) return src_height;
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
    columns[x] = src_x + static_cast<int>(static_cast<int64_t>(visible.left - dest_x + x) *
                                          src_width / dest_width);
  for (int y = 0; y < vh; ++y) {
    int sy = src_y + static_cast<int>(static_cast<int64_t>(visible.top - dest_y + y) * src_height /
                                      dest_height);
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

void CairoDc::apply_clip() {
  cairo_reset_clip(cr_);
  cairo_rectangle(cr_, clip_.left, clip_.top, static_cast<double>(clip_.right) - clip_.left,
                  static_cast<double>(clip_.bottom) - clip_.top);
  cairo_clip(cr_);
}

int CairoDc::save_dc() {
  saved_clips_.push_back(clip_);
  return static_cast<int>(saved_clips_.size());
}

bool CairoDc::restore_dc(int level) {
  const int depth = static_cast<int>(saved_clips_.size());
  if (level < 0) level = depth + 1 + level;  // -1 is the last save
  if (level < 1 || level > depth) return false;
  clip_ = saved_clips_[level - 1];
  saved_clips_.resize(level - 1);
  apply_clip();
  return true;
}

bool CairoDc::intersect_clip_rect(const DcRect& rect) {
  clip_ = intersect(clip_, rect);
  apply_clip();
  return true;
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

int CairoDc::stride() const { return cairo_image_surface_get_stride(surface_); }

bool CairoDc::encode_png(std::string* out) {
  if (!out || cairo_image_surface_get_format(surface_) != CAIRO_FORMAT_RGB24)
    return false;
  cairo_surface_flush(surface_);
  return png_encode_rgb24(cairo_image_surface_get_data(surface_),
                          cairo_image_surface_get_width(surface_),
                          cairo_image_surface_get_height(surface_),
                          cairo_image_surface_get_stride(surface_), out);
}

bool CairoDc::write_png(const char* path) {
  std::string png;
  if (!path || !encode_png(&png)) return false;
  FILE* file = std::fopen(path, "wb");
  if (!file) return false;
  const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  return std::fclose(file) == 0 && written;
}
